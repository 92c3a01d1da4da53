#include "platform/gui/desktop/desktop_platform.h"

#include "platform/gui/desktop/device_watcher.h"
#include "platform/gui/desktop/file_dialog.h"
#include "platform/gui/desktop/hot_key.h"
#include "platform/gui/desktop/ip_helper.h"
#include "platform/gui/desktop/os_info.h"
#include "platform/gui/desktop/service_control.h"
#include "platform/gui/desktop/single_instance.h"
#include "platform/gui/desktop/tray_icon.h"
#include "platform/gui/desktop/version_info.h"
#include "platform/gui/message_box.h"
#include "platform/gui/timer_service.h"

namespace zfw {

struct DesktopPlatform::Owned {
  QtTimerService timers;
  QtMessageBox messageBox;
  OsInfo osInfo = OsInfo::fromEnvironment();
  LocalSingleInstance singleInstance;
  X11HotKey hotKey;
  QtTrayIcon trayIcon;
  NetlinkDeviceWatcher deviceWatcher;
  std::unique_ptr<IServiceControl> serviceControl = serviceControlFromEnvironment();
  LinuxIpHelper ipHelper;
  LinuxVersionInfo versionInfo;
  QtFileDialog fileDialog;
};

DesktopPlatform::DesktopPlatform() : owned_(std::make_unique<Owned>()) {
  services_.timers = &owned_->timers;
  services_.messageBox = &owned_->messageBox;
  services_.osInfo = &owned_->osInfo;
  services_.singleInstance = &owned_->singleInstance;
  services_.hotKey = &owned_->hotKey;
  services_.trayIcon = &owned_->trayIcon;
  services_.deviceWatcher = &owned_->deviceWatcher;
  services_.serviceControl = owned_->serviceControl.get();
  services_.ipHelper = &owned_->ipHelper;
  services_.versionInfo = &owned_->versionInfo;
  services_.fileDialog = &owned_->fileDialog;
}

DesktopPlatform::~DesktopPlatform() = default;

}  // namespace zfw
