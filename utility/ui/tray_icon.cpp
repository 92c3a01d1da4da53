#include "utility/ui/tray_icon.h"

#include "platform/gui/app.h"
#include "platform/gui/base/string_table.h"
#include "platform/gui/desktop/tray_icon.h"
#include "platform/gui/menu.h"
#include "platform/gui/platform.h"
#include "platform/gui/wnd.h"

namespace {

std::string Limit(std::string text, size_t chars) {
  if (text.size() >= chars) text.resize(chars - 1);
  return text;
}

}  // namespace

void CTrayIcon::Create(zfw::Wnd& window, std::function<void(uint32_t)> callback) {
  m_owner = &window;
  m_hasCallback = static_cast<bool>(callback);
  zfw::platform().trayIcon->setCallback(std::move(callback));
}

bool CTrayIcon::SetIconWithBalloon(int iconId, const char* tip, const char* balloon) {
  zfw::TrayIconData data;
  zfw::ITrayIcon::Action action;
  if (iconId != 0) {
    m_tip = Limit(zfw::loadString(static_cast<uint32_t>(iconId)), 128);
    data.flags |= zfw::NIF_ICON;
    data.iconId = iconId;
    action = m_icon == 0 ? zfw::ITrayIcon::Action::Add : zfw::ITrayIcon::Action::Modify;
  } else {
    if (m_icon == 0) return true;
    action = zfw::ITrayIcon::Action::Delete;
  }
  if (tip) {
    m_tip = Limit(tip, 128);
    if (!m_tip.empty()) data.flags |= zfw::NIF_TIP;
  }
  m_balloon = Limit(balloon ? balloon : "", 256);
  m_balloonTitle.clear();
  m_balloonTimeoutMs = 5000;
  data.flags |= zfw::NIF_INFO;
  if (m_owner && m_hasCallback) data.flags |= zfw::NIF_MESSAGE;
  data.tip = m_tip;
  data.balloon = m_balloon;
  data.balloonTitle = m_balloonTitle;
  data.balloonTimeoutMs = m_balloonTimeoutMs;

  const bool ok = zfw::platform().trayIcon->notify(action, data);
  m_icon = ok && action != zfw::ITrayIcon::Action::Delete ? iconId : 0;
  return ok;
}

void CTrayIcon::ShowMenu(zfw::Menu& menu) {
  if (!m_owner || menu.items().empty()) return;
  menu.setDefaultItem(menu.items().front().id);
  if (zfw::Wnd* main = zfw::app().mainWindow()) main->hide();
  // The popup takes the keyboard itself here; no foreground trick is needed for it to close.
  menu.trackPopup(*m_owner);
}
