#include "platform/gui/dialog.h"

#include <QApplication>
#include <atomic>

#include "platform/gui/modal.h"
#include "platform/gui/qt_text.h"
#include "platform/gui/top_level_widget.h"

namespace zfw {

namespace {
std::atomic<ModalInterceptor*> interceptor{nullptr};
}

ModalInterceptor* modalInterceptor() { return interceptor.load(); }
ModalInterceptor* setModalInterceptor(ModalInterceptor* i) { return interceptor.exchange(i); }

void DialogBase::buildControls(ControlBuilder&) {}

bool DialogBase::onInitDialog() { return true; }

void DialogBase::createIn(QWidget* w) {
  attachWidget(w);
  {
    ControlBuilder builder(*this, w);
    buildControls(builder);
  }
  onInitDialog();
}

Dialog::Dialog(int templateId, Wnd* parent) : DialogBase(templateId), parent_(parent) {}

bool Dialog::create(Wnd* parent) {
  if (isCreated()) return false;
  QWidget* w;
  if (parent && parent->widget()) {
    w = new QWidget(parent->widget());
  } else {
    w = new TopLevelWidget(this, nullptr);
    w->setWindowTitle(toQString(caption_));
  }
  ended_ = false;
  createIn(w);
  if (parent && parent->widget()) w->show();
  return true;
}

int Dialog::doModal() {
  if (isCreated()) return -1;
  QWidget* owner = parent_ && parent_->widget() ? parent_->widget()->window() : QApplication::activeWindow();
  auto* w = new TopLevelWidget(this, owner);
  w->setWindowTitle(toQString(caption_));
  ended_ = false;
  result_ = IDCANCEL;
  createIn(w);
  w->runModal(templateId(), [this] { return ended_; }, [this] { endDialog(IDCANCEL); });
  destroyWindow();
  return result_;
}

void Dialog::endDialog(int result) {
  result_ = result;
  ended_ = true;
  // Ends Qt's modal loop when one runs (and only hides the window otherwise).
  if (auto* w = qobject_cast<QDialog*>(widget())) w->done(result);
}

bool Dialog::onCommand(int id, int code) {
  if (code != BN_CLICKED) return false;
  if (id == IDOK) {
    onOK();
    return true;
  }
  if (id == IDCANCEL) {
    onCancel();
    return true;
  }
  return false;
}

}  // namespace zfw
