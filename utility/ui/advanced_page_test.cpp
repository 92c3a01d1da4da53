#include "utility/ui/advanced_page.h"

#include <gtest/gtest.h>

#include "platform/gui/combo_box.h"
#include "platform/gui/cross_thread.h"
#include "utility/ui/app_messages.h"
#include "utility/ui/testing/show_page.h"

namespace zelcon_test {
namespace {

using zfw::testing::processEvents;

struct AdvancedPageTest : ZelconFixture {
  CAdvancedPage* page = nullptr;

  AdvancedPageTest() {
    lib.SetText("QueryDeviceDesc", "Brevik 6140 Wireless LAN Adapter");
    lib.SetDword("QueryWlanMode", 3);
  }
  void Show() { ASSERT_NE(page = ShowPage<CAdvancedPage>(*this), nullptr); }
  std::vector<std::string> Sets() const {
    std::vector<std::string> sets;
    for (const std::string& call : lib.CallTexts()) {
      if (call.rfind("Set", 0) == 0) sets.push_back(call);
    }
    return sets;
  }
  std::string Selected(int id) {
    zfw::ComboBox combo = page->comboBox(id);
    return combo.lbText(combo.curSel());
  }
};

TEST_F(AdvancedPageTest, ShowsTheAdapterSettings) {
  lib.SetDword("QueryPowerMode", 1);
  lib.SetDword("QueryPreamble", 3);
  lib.SetDword("QueryTxPower", 2);
  lib.SetDword("QueryTxAntenna", 0xFFFF);
  lib.SetDword("QueryRxAntenna", 2);
  lib.SetDword("QueryDataRate", 11);
  lib.SetDword("QueryFragThreshold", 1500);
  lib.SetDword("QueryRTSThreshold", 500);
  lib.SetDword("QueryBoostMode", 0);
  Show();
  EXPECT_EQ(page->itemText(1001), "Brevik 6140 Wireless LAN Adapter");
  EXPECT_EQ(Selected(1010), "Max Power Save");
  EXPECT_EQ(Selected(1011), "Long");
  EXPECT_EQ(Selected(1024), "Medium");
  EXPECT_EQ(Selected(1022), "Diversity On");
  EXPECT_EQ(Selected(1023), "Diversity Off");
  EXPECT_EQ(Selected(1003), "5.5 Mbps");
  EXPECT_EQ(page->itemText(1019), "1500");
  EXPECT_EQ(page->itemText(1013), "500");
  EXPECT_TRUE(page->isItemEnabled(1121));
  EXPECT_EQ(page->isChecked(1121), 1);
  EXPECT_EQ(page->isChecked(1132), 1);
  EXPECT_FALSE(page->isItemEnabled(1132));
  EXPECT_FALSE(page->isItemVisible(1133));
  EXPECT_EQ(page->ChangedMask(), 0);  // showing values changes nothing
  zfw::testing::saveScreenshot(Sheet(), "advanced");
}

TEST_F(AdvancedPageTest, RateListFollowsTheWirelessMode) {
  const struct {
    uint32_t mode;
    std::vector<std::string> items;
  } cases[] = {
      {1, {"Auto", "1 Mbps", "2 Mbps", "5.5 Mbps", "11 Mbps"}},
      {2, {"Auto", "6 Mbps", "9 Mbps", "12 Mbps", "18 Mbps", "24 Mbps", "36 Mbps", "48 Mbps",
           "54 Mbps"}},
      {0, {"Auto", "1 Mbps", "2 Mbps", "5.5 Mbps", "6 Mbps", "9 Mbps", "11 Mbps", "12 Mbps",
           "18 Mbps", "24 Mbps", "36 Mbps", "48 Mbps", "54 Mbps"}},
  };
  for (const auto& c : cases) {
    lib.SetDword("QueryWlanMode", c.mode);
    Show();
    zfw::ComboBox rates = page->comboBox(1003);
    std::vector<std::string> items;
    for (int i = 0; i < rates.count(); ++i) items.push_back(rates.lbText(i));
    EXPECT_EQ(items, c.items) << c.mode;
  }
  // The adapter's rate is selected in the rebuilt list.
  lib.SetDword("QueryDataRate", 18);
  ASSERT_TRUE(Sheet().setActivePage(0));
  ASSERT_TRUE(Sheet().setActivePage(page));
  EXPECT_EQ(Selected(1003), "9 Mbps");
}

TEST_F(AdvancedPageTest, ApplySendsOnlyTheChangedSettingsInOrderWithClamps) {
  Show();
  const struct {
    const char* name;
    std::function<void()> change;
    std::vector<std::string> sets;
  } cases[] = {
      {"fragmentation below the range", [&] { zfw::testing::replaceText(*page, 1019, "100"); },
       {"SetFragThreshold(256)"}},
      {"fragmentation above the range", [&] { zfw::testing::replaceText(*page, 1019, "3000"); },
       {"SetFragThreshold(2346)"}},
      {"RTS above the range", [&] { zfw::testing::replaceText(*page, 1013, "2400"); },
       {"SetRTSThreshold(2347)"}},
      {"rate (and preamble)", [&] { zfw::testing::chooseComboItem(*page, 1003, 2); },
       {"SetPreamble(1)", "SetDataRate(4)"}},
      {"everything",
       [&] {
         zfw::testing::chooseComboItem(*page, 1022, 0);
         zfw::testing::chooseComboItem(*page, 1024, 3);
         zfw::testing::chooseComboItem(*page, 1010, 1);
         zfw::testing::chooseComboItem(*page, 1023, 1);
         zfw::testing::replaceText(*page, 1013, "1000");
       },
       {"SetPowerMode(1)", "SetRTSThreshold(1000)", "SetTxPower(1)", "SetTxAntenna(65535)",
        "SetRxAntenna(2)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.change();
    lib.ClearCalls();
    ASSERT_TRUE(zfw::testing::click(*page, 1004));
    EXPECT_EQ(Sets(), c.sets);
    EXPECT_EQ(page->ChangedMask(), 0);
  }
}

TEST_F(AdvancedPageTest, DefaultAppliesEverySettingButBoost) {
  Show();
  lib.ClearCalls();
  ASSERT_TRUE(zfw::testing::click(*page, 1002));
  EXPECT_EQ(Sets(), (std::vector<std::string>{"SetPowerMode(0)", "SetPreamble(1)",
                                              "SetFragThreshold(2346)", "SetRTSThreshold(2347)",
                                              "SetTxPower(4)", "SetTxAntenna(2)",
                                              "SetRxAntenna(65535)", "SetDataRate(255)"}));
}

TEST_F(AdvancedPageTest, SheetOkAppliesOnlyWhenSomethingChanged) {
  Show();
  lib.ClearCalls();
  ASSERT_TRUE(static_cast<zfw::PropertyPage*>(page)->onApply());  // the sheet's OK
  EXPECT_TRUE(Sets().empty());
  zfw::testing::chooseComboItem(*page, 1011, 1);
  ASSERT_TRUE(static_cast<zfw::PropertyPage*>(page)->onApply());  // the sheet's OK
  EXPECT_EQ(Sets(), std::vector<std::string>{"SetPreamble(2)"});
}

TEST_F(AdvancedPageTest, BoostModeOnlyForThe6140AndWrittenAtOnce) {
  lib.SetText("QueryDeviceDesc", "Brevik 5100 Wireless LAN Adapter");
  Show();
  EXPECT_FALSE(page->isItemEnabled(1121));

  lib.SetText("QueryDeviceDesc", "Brevik 6140 Wireless LAN Adapter");
  lib.SetDword("QueryBoostMode", 1);
  Show();
  ASSERT_TRUE(page->isItemEnabled(1121));
  EXPECT_EQ(page->isChecked(1121), 0);
  lib.ClearCalls();
  ASSERT_TRUE(zfw::testing::click(*page, 1121));
  EXPECT_EQ(Sets(), std::vector<std::string>{"SetBoostMode(0)"});
  EXPECT_EQ(Ini().ReadInt("Advanced", "BoostMode", -1), 0);
  lib.ClearCalls();
  ASSERT_TRUE(zfw::testing::click(*page, 1004));
  EXPECT_EQ(Sets(), std::vector<std::string>{"SetBoostMode(0)"});
}

TEST_F(AdvancedPageTest, UtilityOptionsGoToTheSettingsFileAndTheSheet) {
  Show();
  const struct {
    int id;
    const char* key;
    std::atomic<int>* flag;
  } boxes[] = {{1030, "TcpIpUseProfile", nullptr},
               {1031, "Auto Configuration", &Sheet().m_autoConfiguration},
               {1122, "AutoLink", &Sheet().m_autoLinkEnabled}};
  // The fixture starts with the worker's two switches off (so it stays idle); each box turns
  // its option over and back, and the file and the sheet follow it each time.
  for (const auto& box : boxes) {
    SCOPED_TRACE(box.key);
    const int initial = page->isChecked(box.id);
    for (const int expected : {1 - initial, initial}) {
      ASSERT_TRUE(zfw::testing::click(*page, box.id));
      EXPECT_EQ(page->isChecked(box.id), expected);
      EXPECT_EQ(Ini().ReadInt("Advanced", box.key, -1), expected);
      if (box.flag) {
        EXPECT_EQ(box.flag->load(), expected);
      }
    }
  }
}

TEST_F(AdvancedPageTest, PowerSaveDisabledInAnAdHocNetwork) {
  Show();
  EXPECT_TRUE(page->isItemEnabled(1010));
  Sheet().Link().adHocUp = 1;
  Sheet().Link().networkMode = 0;
  ASSERT_TRUE(Sheet().setActivePage(0));
  ASSERT_TRUE(Sheet().setActivePage(page));
  EXPECT_FALSE(page->isItemEnabled(1010));
}

TEST_F(AdvancedPageTest, AdapterOpenedRefreshesTheShownPage) {
  Show();
  ASSERT_EQ(Selected(1010), "Continuous Access");
  lib.SetDword("QueryPowerMode", 1);
  zfw::sendAppMessage(Sheet(), APPMSG_PROFILES_CHANGED, zfw::AppParam{});
  EXPECT_EQ(Selected(1010), "Max Power Save");
}

}  // namespace
}  // namespace zelcon_test
