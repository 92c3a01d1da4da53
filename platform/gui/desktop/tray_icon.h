#pragma once
// The notification-area (tray) icon, shaped like the shell's notify-icon call: add,
// modify or delete one icon with a tip and a balloon. Every call fails where no tray
// exists (offscreen, a desktop without one), as a failed shell call does.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zfw {

// Which fields of TrayIconData a call sets.
enum : unsigned { NIF_MESSAGE = 0x1, NIF_ICON = 0x2, NIF_TIP = 0x4, NIF_INFO = 0x10 };
// Mouse messages the tray reports to its owner.
enum : uint32_t { WM_LBUTTONDBLCLK = 0x203, WM_RBUTTONUP = 0x205 };

struct TrayIconData {
  unsigned flags = 0;
  int iconId = 0;             // NIF_ICON: icon resource id (see icons.h)
  std::string tip;            // NIF_TIP
  std::string balloon;        // NIF_INFO: an empty text removes a balloon
  std::string balloonTitle;   // NIF_INFO
  uint32_t balloonTimeoutMs = 0;
};

class ITrayIcon {
 public:
  enum class Action { Add, Modify, Delete };
  virtual ~ITrayIcon() = default;
  // True when the tray took the call. Add fails when the icon exists, Modify and Delete
  // when it does not.
  virtual bool notify(Action action, const TrayIconData& data) = 0;
  // Mouse messages (WM_LBUTTONDBLCLK, WM_RBUTTONUP) on the icon, on the GUI thread.
  virtual void setCallback(std::function<void(uint32_t mouseMessage)> callback) = 0;
};

class QtTrayIcon final : public ITrayIcon {
 public:
  QtTrayIcon();
  ~QtTrayIcon() override;
  bool notify(Action action, const TrayIconData& data) override;
  void setCallback(std::function<void(uint32_t)> callback) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace zfw
