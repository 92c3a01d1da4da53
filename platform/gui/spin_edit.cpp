#include "platform/gui/spin_edit.h"

#include <QLineEdit>
#include <QVariant>
#include <QWidget>
#include <algorithm>

namespace zfw {
namespace {
constexpr const char* kLow = "zfwSpinLow";
constexpr const char* kHigh = "zfwSpinHigh";
constexpr const char* kBuddy = "zfwSpinBuddy";
}  // namespace

SpinEdit::SpinEdit(QWidget* spin) : spin_(spin && spin->property(kBuddy).isValid() ? spin : nullptr) {}

QWidget* SpinEdit::buddy() const {
  return spin_ ? spin_->property(kBuddy).value<QWidget*>() : nullptr;
}

void SpinEdit::setRange(int low, int high) {
  if (!spin_) return;
  spin_->setProperty(kLow, low);
  spin_->setProperty(kHigh, high);
}

int SpinEdit::low() const { return spin_ ? spin_->property(kLow).toInt() : 0; }
int SpinEdit::high() const { return spin_ ? spin_->property(kHigh).toInt() : 0; }

int SpinEdit::pos() const {
  auto* edit = qobject_cast<QLineEdit*>(buddy());
  if (!edit) return 0;
  bool ok = false;
  const int value = edit->text().trimmed().toInt(&ok);
  return ok ? value : 0;
}

void SpinEdit::setPos(int value) {
  if (auto* edit = qobject_cast<QLineEdit*>(buddy())) edit->setText(QString::number(value));
}

void SpinEdit::step(int delta) {
  if (!spin_) return;
  const int lo = std::min(low(), high()), hi = std::max(low(), high());
  setPos(std::clamp(pos() + delta, lo, hi));
}

}  // namespace zfw
