#include "platform/gui/top_level_widget.h"

#include <QCloseEvent>

#include "platform/gui/modal.h"
#include "platform/gui/wnd.h"

namespace zfw {

TopLevelWidget::TopLevelWidget(Wnd* owner, QWidget* parent) : QDialog(parent), owner_(owner) {}

void TopLevelWidget::setMainWindowStyle() {
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
}

void TopLevelWidget::runModal(int modalId, const std::function<bool()>& ended, const std::function<void()>& cancel) {
  if (ended() || !owner_) return;
  if (ModalInterceptor* hook = modalInterceptor()) {
    show();
    hook->runModal(*owner_, modalId);
    if (!ended()) cancel();
  } else {
    exec();
  }
}

void TopLevelWidget::reject() {
  if (owner_) owner_->dispatchCommand(IDCANCEL, BN_CLICKED);
}

void TopLevelWidget::accept() {
  if (owner_) owner_->dispatchCommand(IDOK, BN_CLICKED);
}

void TopLevelWidget::closeEvent(QCloseEvent* event) {
  // The owner decides (hide, cancel, destroy); Qt must not hide the window by itself.
  event->ignore();
  if (owner_) owner_->onClose();
}

void TopLevelWidget::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && owner_ && (windowState() & Qt::WindowMinimized)) {
    // Told once the minimising is complete: showMinimized() shows the window after the state
    // change, which would undo an owner that hides itself (to the tray) at once.
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (owner_ && (windowState() & Qt::WindowMinimized)) owner_->onMinimize();
        },
        Qt::QueuedConnection);
  }
}

}  // namespace zfw
