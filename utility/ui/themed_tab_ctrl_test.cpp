#include "utility/ui/themed_tab_ctrl.h"

#include <gtest/gtest.h>

#include "platform/gui/tab_control.h"
#include "platform/gui/testing/gui_kit.h"
#include "utility/ui/app_messages.h"
#include "utility/ui/testing/zelcon_fixture.h"

namespace zelcon_test {
namespace {

using Key = zfw::TabControl::Key;

// A page that refuses to be left while `keep` is set.
class StickyPage : public CZelconPage {
public:
  StickyPage() : CZelconPage(198, "Sticky") {}
  bool keep = false;
  bool onKillActive() override { return !keep; }
};

TEST_F(ZelconFixture, DisabledTabsAreSkippedByClicksKeysAndSelectionFromCode) {
  CZelconSheet& sheet = *Start();
  ASSERT_TRUE(zfw::testing::click(sheet, IDC_RADIO_OFF));  // Site Survey, Statistics, Advanced off
  zfw::TabControl& tabs = sheet.tabControl();
  ASSERT_FALSE(tabs.isTabEnabled(2));
  tabs.setCurSel(1);
  EXPECT_FALSE(tabs.clickTab(3));
  EXPECT_EQ(tabs.curSel(), 1);
  EXPECT_TRUE(tabs.pressKey(Key::Right));
  EXPECT_EQ(tabs.curSel(), 5);  // over the three disabled ones
  EXPECT_TRUE(tabs.pressKey(Key::Left));
  EXPECT_EQ(tabs.curSel(), 1);
  tabs.setCurSel(3);
  EXPECT_TRUE(tabs.isTabEnabled(tabs.curSel()));

  ASSERT_TRUE(zfw::testing::click(sheet, IDC_RADIO_OFF));
  StickyPage sticky;
  sheet.addPage(&sticky);
  ASSERT_TRUE(sheet.setActivePage(&sticky));
  sticky.keep = true;
  const int at = tabs.curSel();
  EXPECT_FALSE(tabs.clickTab(0));  // the page's leave check holds it
  EXPECT_EQ(tabs.curSel(), at);
  sticky.keep = false;
  EXPECT_TRUE(tabs.clickTab(0));
  sheet.removePage(&sticky);
}

}  // namespace
}  // namespace zelcon_test
