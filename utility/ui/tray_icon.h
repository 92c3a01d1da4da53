#pragma once
// The notification-area icon of the utility: one icon with a tip, a balloon and a popup
// menu. It keeps the record the shell was last given; when a shell call fails (or there is
// no tray at all) the icon is forgotten, so the next change adds it afresh.
#include <cstdint>
#include <functional>
#include <string>

namespace zfw {
class Menu;
class Wnd;
}  // namespace zfw

class CTrayIcon {
public:
  // The owner window receives the mouse messages on the icon (WM_LBUTTONDBLCLK,
  // WM_RBUTTONUP) through `callback`.
  void Create(zfw::Wnd& window, std::function<void(uint32_t mouseMessage)> callback);
  // iconId 0 removes the icon.
  bool SetIcon(int iconId) { return SetIconWithBalloon(iconId, nullptr, nullptr); }
  // A null tip leaves the shown tip as it is; a null balloon shows none.
  bool SetIconWithBalloon(int iconId, const char* tip, const char* balloon);
  // Shows `menu` at the pointer, its first item the default; the chosen command reaches the
  // owner window.
  void ShowMenu(zfw::Menu& menu);

  int shownIcon() const { return m_icon; }
  const std::string& tip() const { return m_tip; }

private:
  zfw::Wnd* m_owner = nullptr;
  bool m_hasCallback = false;
  int m_icon = 0;            // the icon the shell shows, 0 when none
  std::string m_tip;         // up to 127 characters
  std::string m_balloon;     // up to 255
  std::string m_balloonTitle;  // always empty
  uint32_t m_balloonTimeoutMs = 0;
};
