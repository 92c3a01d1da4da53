#pragma once
// An up-down (spin) control with its buddy edit: the edit holds the number as text, the
// arrows step it within the range. Reached by the spin control's id. A light handle.
class QWidget;

namespace zfw {

class SpinEdit {
 public:
  explicit SpinEdit(QWidget* spin = nullptr);
  bool valid() const { return spin_ != nullptr; }

  void setRange(int low, int high);
  int low() const;
  int high() const;
  // The buddy's number (0 when it holds none); not clamped, as the user may type anything.
  int pos() const;
  void setPos(int value);
  // One arrow press: +1 up, -1 down; the result stays within the range.
  void step(int delta);
  QWidget* buddy() const;

 private:
  QWidget* spin_;
};

}  // namespace zfw
