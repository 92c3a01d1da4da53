#pragma once
// A progress bar reached through the progress verbs. A light handle; custom bars that
// derive from QProgressBar work through it too.
class QWidget;
class QProgressBar;

namespace zfw {

class ProgressBar {
 public:
  explicit ProgressBar(QWidget* control = nullptr);
  bool valid() const { return bar_ != nullptr; }

  void setRange(int low, int high);
  int low() const;
  int high() const;
  void setPos(int pos);  // clamped to the range
  int pos() const;

 private:
  QProgressBar* bar_;
};

}  // namespace zfw
