#pragma once
// The desktop services the framework and its programs reach, one interface each. The
// program installs the Linux implementations (zfw::DesktopPlatform); tests install fakes
// (zfw::testing::FakePlatform).
namespace zfw {

class ITimerService;
class IMessageBox;
class IOsInfo;
class ISingleInstance;
class IHotKey;
class ITrayIcon;
class IDeviceWatcher;
class IServiceControl;
class IIpHelper;
class IVersionInfo;
class IFileDialog;

struct Platform {
  ITimerService* timers = nullptr;
  IMessageBox* messageBox = nullptr;
  IOsInfo* osInfo = nullptr;
  ISingleInstance* singleInstance = nullptr;
  IHotKey* hotKey = nullptr;
  ITrayIcon* trayIcon = nullptr;
  IDeviceWatcher* deviceWatcher = nullptr;
  IServiceControl* serviceControl = nullptr;
  IIpHelper* ipHelper = nullptr;
  IVersionInfo* versionInfo = nullptr;
  IFileDialog* fileDialog = nullptr;
};

// The installed services. Ends the process with a message when none are installed: a
// program without its platform is a set-up fault, not a run-time condition.
Platform& platform();
bool hasPlatform();
// Installs `p` (nullptr uninstalls); returns the previous one.
Platform* installPlatform(Platform* p);

}  // namespace zfw
