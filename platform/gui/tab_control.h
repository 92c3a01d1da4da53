#pragma once
// A tab control whose single tabs can be disabled: a disabled tab is drawn greyed, cannot
// be clicked and is skipped by the arrow keys; selecting one from code (setCurSel) moves to
// the nearest enabled tab in the direction of a one-step move. The owner (a property sheet)
// may refuse a change the user asks for, and hears of every change the control makes.
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class QWidget;

namespace zfw {

class TabControl {
 public:
  TabControl();
  ~TabControl();
  TabControl(const TabControl&) = delete;
  TabControl& operator=(const TabControl&) = delete;

  // Makes the control's tab bar as a child of `parent`.
  void create(QWidget* parent);
  // Lets go of the tab bar (its window is being destroyed); tabs and their states go too.
  void destroy();
  QWidget* widget() const;

  int insertItem(int index, std::string_view text);  // index of the new tab, -1 without a window
  bool deleteItem(int index);
  void deleteAllItems();
  int itemCount() const;
  std::string itemText(int index) const;
  void setItemText(int index, std::string_view text);

  int curSel() const;  // -1 when no tab is selected
  // Selects `index` without notifying the owner. A disabled target is replaced as
  // described above. Returns the previous selection, or -1 when the call fails.
  int setCurSel(int index);
  // True when the tab is (now) in the requested state; false for an index out of range,
  // or when the current tab cannot be disabled because no other tab is enabled.
  bool enableTab(int index, bool enable);
  bool isTabEnabled(int index) const;  // false out of range

  // User input, as the tab bar forwards it (and tests call it): a click on tab `index`,
  // and the arrow keys. True when the selection changed.
  enum class Key { Left, Up, Right, Down };
  bool clickTab(int index);
  bool pressKey(Key key);

  // `mayLeave` is asked before a change the user requested (false keeps the current
  // tab); `changed` hears the new selection after every change that did not come from
  // setCurSel().
  void setOwner(std::function<bool()> mayLeave, std::function<void(int)> changed);

 private:
  struct Impl;
  int resolve(int index) const;  // the tab a selection of `index` lands on, -1 when it fails
  bool userSelect(int index);
  void notifyChanged();
  std::unique_ptr<Impl> d_;
};

}  // namespace zfw
