#pragma once
// The main sheet's tab control, taken over so that single tabs can be disabled: a disabled
// tab is drawn greyed, cannot be clicked and is skipped by the arrow keys. Without a theme
// the tabs are drawn flat by the toolkit; no theme library is bound here.
namespace zfw {
class PropertySheet;
class TabControl;
}  // namespace zfw

class CThemedTabCtrl {
public:
  void Attach(zfw::PropertySheet& sheet);
  // 1 when the tab is (now) in the requested state; 0 for an index out of range or when the
  // current tab cannot be disabled (no other tab is enabled).
  int EnableTab(int index, int enable);
  int IsTabEnabled(int index) const;

private:
  zfw::TabControl* m_tabs = nullptr;
};
