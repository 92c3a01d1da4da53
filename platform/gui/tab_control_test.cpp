#include "platform/gui/tab_control.h"

#include <gtest/gtest.h>

#include <QTabBar>
#include <QWidget>
#include <string>
#include <vector>

#include "platform/gui/testing/fake_platform.h"

namespace zfw {
namespace {

using testing::FakePlatform;

// Five tabs, `disabled` of them disabled, tab `current` selected.
struct Tabs {
  QWidget parent;
  TabControl tabs;
  std::vector<int> changes;
  bool allowLeave = true;
  Tabs(int current, std::vector<int> disabled) {
    tabs.create(&parent);
    for (int i = 0; i < 5; ++i) tabs.insertItem(i, "tab" + std::to_string(i));
    tabs.setCurSel(current);
    for (int i : disabled) tabs.enableTab(i, false);
    tabs.setOwner([this] { return allowLeave; }, [this](int i) { changes.push_back(i); });
  }
};

TEST(TabControl, SelectingADisabledTabOnlyWorksAsAOneStepMove) {
  FakePlatform fake;
  const struct {
    const char* name;
    int current;
    std::vector<int> disabled;
    int target;
    int result;  // the tab selected afterwards, -1: the call failed
  } cases[] = {
      {"enabled target", 0, {2}, 3, 3},
      {"step forward skips", 1, {2}, 2, 3},
      {"step forward skips several", 1, {2, 3}, 2, 4},
      {"step back skips", 3, {2}, 2, 1},
      {"wrap last to first goes forward", 4, {0}, 0, 1},
      {"wrap first to last goes back", 0, {4}, 4, 3},
      {"forward wraps around", 3, {4, 0}, 4, 1},
      {"far jump fails", 0, {3}, 3, -1},
      {"out of range fails", 0, {}, 5, -1},
      {"nothing else enabled: the current tab", 0, {1, 2, 3, 4}, 1, 0},
  };
  for (const auto& c : cases) {
    Tabs t(c.current, c.disabled);
    const int previous = t.tabs.setCurSel(c.target);
    EXPECT_EQ(previous, c.result < 0 ? -1 : c.current) << c.name;
    EXPECT_EQ(t.tabs.curSel(), c.result < 0 ? c.current : c.result) << c.name;
    EXPECT_TRUE(t.changes.empty()) << c.name;  // code is not told of its own change
  }
}

TEST(TabControl, DisablingTheCurrentTabMovesForwardOrFails) {
  FakePlatform fake;
  Tabs t(4, {1});
  EXPECT_TRUE(t.tabs.enableTab(4, false));  // forward from the last wraps to 0
  EXPECT_EQ(t.tabs.curSel(), 0);
  EXPECT_EQ(t.changes, std::vector<int>{0});
  EXPECT_TRUE(t.tabs.enableTab(4, false));  // already so
  EXPECT_FALSE(t.tabs.enableTab(7, false));
  EXPECT_FALSE(t.tabs.isTabEnabled(7));
  Tabs lone(0, {1, 2, 3, 4});
  EXPECT_FALSE(lone.tabs.enableTab(0, false));  // the only enabled tab stays enabled
  EXPECT_TRUE(lone.tabs.isTabEnabled(0));
  EXPECT_TRUE(lone.tabs.enableTab(3, true));
  EXPECT_TRUE(lone.tabs.isTabEnabled(3));
}

TEST(TabControl, KeysAndClicksAskTheOwnerAndSkipDisabledTabs) {
  FakePlatform fake;
  Tabs t(4, {0});
  EXPECT_TRUE(t.tabs.pressKey(TabControl::Key::Right));  // wraps to 0, disabled: on to 1
  EXPECT_EQ(t.tabs.curSel(), 1);
  EXPECT_TRUE(t.tabs.pressKey(TabControl::Key::Left));  // back onto 0, disabled: back to 4
  EXPECT_EQ(t.tabs.curSel(), 4);
  EXPECT_FALSE(t.tabs.clickTab(0));
  EXPECT_TRUE(t.tabs.clickTab(2));
  t.allowLeave = false;
  EXPECT_FALSE(t.tabs.pressKey(TabControl::Key::Down));
  EXPECT_FALSE(t.tabs.clickTab(3));
  EXPECT_EQ(t.tabs.curSel(), 2);
  EXPECT_EQ(t.changes, (std::vector<int>{1, 4, 2}));
}

TEST(TabControl, ADisabledStateStaysWithItsTab) {
  FakePlatform fake;
  Tabs t(0, {2});
  t.tabs.insertItem(1, "new");
  EXPECT_TRUE(t.tabs.isTabEnabled(2));
  EXPECT_FALSE(t.tabs.isTabEnabled(3));
  EXPECT_EQ(t.tabs.itemText(3), "tab2");
  t.tabs.deleteItem(3);
  for (int i = 0; i < t.tabs.itemCount(); ++i) EXPECT_TRUE(t.tabs.isTabEnabled(i)) << i;
}

TEST(TabControl, EveryTabIsShownWhole) {
  FakePlatform fake;
  QWidget parent;
  TabControl tabs;
  tabs.create(&parent);
  for (int i = 0; i < 9; ++i) tabs.insertItem(i, "A rather long caption " + std::to_string(i));
  parent.resize(100, 40);  // far too narrow: the bar asks for the room its tabs need
  auto* bar = qobject_cast<QTabBar*>(tabs.widget());
  ASSERT_NE(bar, nullptr);
  // The size it needs is the size of all its tabs (no scrolling, no shortened captions).
  EXPECT_GE(bar->minimumSizeHint().width(), bar->sizeHint().width());
  EXPECT_GT(bar->sizeHint().width(), 9 * 100);
}

}  // namespace
}  // namespace zfw
