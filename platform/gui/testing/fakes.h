#pragma once
// Test doubles of the desktop services. Each records what it was asked and lets the test
// play the part of the system (a second start, a key press, a tray click, a plugged card).
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/gui/desktop/device_watcher.h"
#include "platform/gui/desktop/file_dialog.h"
#include "platform/gui/desktop/hot_key.h"
#include "platform/gui/desktop/ip_helper.h"
#include "platform/gui/desktop/single_instance.h"
#include "platform/gui/desktop/tray_icon.h"
#include "platform/gui/desktop/version_info.h"

namespace zfw::testing {

class FakeSingleInstance final : public ISingleInstance {
 public:
  // What claim() answers: First unless the test says another instance runs.
  Claim nextClaim = Claim::First;
  std::string claimedName;
  std::vector<uint32_t> sent;  // codes a second start sent to the first
  bool released = false;

  Claim claim(const std::string& name, std::function<void(uint32_t)> onMessage) override;
  bool sendToFirst(uint32_t code) override;
  void release() override { released = true; }
  // A later start reaches this (first) instance with `code`.
  void receive(uint32_t code);

 private:
  std::function<void(uint32_t)> onMessage_;
};

class FakeHotKey final : public IHotKey {
 public:
  struct Registration {
    unsigned modifiers;
    unsigned virtualKey;
    std::function<void(int)> onPressed;
  };
  bool failRegistration = false;
  std::map<int, Registration> registered;

  bool registerHotKey(int id, unsigned modifiers, unsigned virtualKey, std::function<void(int)> onPressed) override;
  bool unregisterHotKey(int id) override;
  // The user presses hot key `id`; false when it is not registered.
  bool press(int id);
};

class FakeTrayIcon final : public ITrayIcon {
 public:
  struct Call {
    Action action;
    TrayIconData data;
    bool succeeded;
  };
  bool available = true;  // false: no tray, every call fails
  std::vector<Call> calls;
  // The icon as the tray shows it.
  bool shown = false;
  int iconId = 0;
  std::string tip;
  std::string balloon;

  bool notify(Action action, const TrayIconData& data) override;
  void setCallback(std::function<void(uint32_t)> callback) override { callback_ = std::move(callback); }
  // The user acts on the icon (WM_LBUTTONDBLCLK, WM_RBUTTONUP).
  void mouse(uint32_t message);

 private:
  std::function<void(uint32_t)> callback_;
};

class FakeDeviceWatcher final : public DeviceWatcherBase {
 public:
  bool failStart = false;
  bool started = false;

  bool start(std::function<void(const DeviceChange&)> onChange) override;
  void stop() override;
  // A network adapter with hardware id `hardwareId` arrives / goes.
  void plug(const std::string& hardwareId, const std::string& interface = "wlan0");
  void unplug(const std::string& hardwareId, const std::string& interface = "wlan0");
};

class FakeIpHelper final : public IIpHelper {
 public:
  std::vector<IpAdapterInfo> table;
  std::map<uint32_t, IfRow> rows;
  std::vector<IpAdapterInfo> adapters() override { return table; }
  std::optional<IfRow> ifEntry(uint32_t index) override;
};

class FakeVersionInfo final : public IVersionInfo {
 public:
  std::optional<ProductVersion> program = ProductVersion{1, 0, 0, 0};
  std::optional<ProductVersion> library = ProductVersion{1, 0, 0, 0};
  std::optional<FileDate> date = FileDate{3, 5, 2007};
  std::optional<ProductVersion> programVersion() override { return program; }
  std::optional<ProductVersion> libraryVersion() override { return library; }
  std::optional<FileDate> programDate() override { return date; }
};

class FakeFileDialog final : public IFileDialog {
 public:
  struct Request {
    bool save;
    FileDialogSpec spec;
  };
  std::vector<Request> requests;
  // Answers, in order; an empty optional is a cancelled dialog. No answer left: cancelled.
  std::deque<std::optional<std::string>> answers;

  std::optional<std::string> openFile(Wnd* owner, const FileDialogSpec& spec) override;
  std::optional<std::string> saveFile(Wnd* owner, const FileDialogSpec& spec) override;

 private:
  std::optional<std::string> next();
};

}  // namespace zfw::testing
