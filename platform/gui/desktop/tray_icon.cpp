#include "platform/gui/desktop/tray_icon.h"

#include <QSystemTrayIcon>

#include "platform/gui/icons.h"
#include "platform/gui/qt_text.h"

namespace zfw {

struct QtTrayIcon::Impl {
  std::unique_ptr<QSystemTrayIcon> icon;
  std::function<void(uint32_t)> callback;
};

QtTrayIcon::QtTrayIcon() : d_(std::make_unique<Impl>()) {}
QtTrayIcon::~QtTrayIcon() = default;

void QtTrayIcon::setCallback(std::function<void(uint32_t)> callback) { d_->callback = std::move(callback); }

bool QtTrayIcon::notify(Action action, const TrayIconData& data) {
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return false;
  switch (action) {
    case Action::Add:
      if (d_->icon) return false;
      d_->icon = std::make_unique<QSystemTrayIcon>();
      QObject::connect(d_->icon.get(), &QSystemTrayIcon::activated, d_->icon.get(),
                       [this](QSystemTrayIcon::ActivationReason reason) {
                         if (!d_->callback) return;
                         if (reason == QSystemTrayIcon::DoubleClick) d_->callback(WM_LBUTTONDBLCLK);
                         if (reason == QSystemTrayIcon::Context) d_->callback(WM_RBUTTONUP);
                       });
      break;
    case Action::Modify:
      if (!d_->icon) return false;
      break;
    case Action::Delete:
      if (!d_->icon) return false;
      d_->icon->hide();
      d_->icon.reset();
      return true;
  }
  if (data.flags & NIF_ICON) d_->icon->setIcon(iconFor(data.iconId));
  if (data.flags & NIF_TIP) d_->icon->setToolTip(toQString(data.tip));
  d_->icon->show();
  if ((data.flags & NIF_INFO) && !data.balloon.empty()) {
    d_->icon->showMessage(toQString(data.balloonTitle), toQString(data.balloon), QSystemTrayIcon::Information,
                          static_cast<int>(data.balloonTimeoutMs));
  }
  return true;
}

}  // namespace zfw
