#include "platform/gui/progress_bar.h"

#include <QProgressBar>
#include <algorithm>

namespace zfw {

ProgressBar::ProgressBar(QWidget* control) : bar_(qobject_cast<QProgressBar*>(control)) {}

void ProgressBar::setRange(int low, int high) {
  if (bar_) bar_->setRange(low, std::max(low, high));
}

int ProgressBar::low() const { return bar_ ? bar_->minimum() : 0; }
int ProgressBar::high() const { return bar_ ? bar_->maximum() : 0; }

void ProgressBar::setPos(int pos) {
  if (bar_) bar_->setValue(std::clamp(pos, bar_->minimum(), bar_->maximum()));
}

int ProgressBar::pos() const { return bar_ ? bar_->value() : 0; }

}  // namespace zfw
