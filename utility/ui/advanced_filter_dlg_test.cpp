#include "utility/ui/advanced_filter_dlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "platform/gui/testing/gui_kit.h"
#include "platform/gui/testing/modal_hooks.h"
#include "utility/ui/testing/zelcon_fixture.h"

namespace zelcon_test {
namespace {

using Dlg = CAdvancedFilterDlg;

struct ZelconAdvancedFilter : ZelconFixture {
  CSiteSurvey* page = nullptr;
  zfw::testing::ModalHooks hooks;

  void SetUp() override {
    CZelconSheet& sheet = *Start();
    ASSERT_TRUE(sheet.setActivePage(2));
    page = dynamic_cast<CSiteSurvey*>(sheet.activePage());
    ASSERT_NE(page, nullptr);
  }
  // Opens the dialog from the page's "&Filter" button and lets `act` work in it.
  void RunFilter(std::function<void(Dlg&)> act) {
    hooks.expect<Dlg>(Dlg::IDD, std::move(act));
    ASSERT_TRUE(zfw::testing::click(*page, CSiteSurvey::IDC_FILTER));
    EXPECT_EQ(hooks.unused(), 0u);
  }
  static std::vector<std::string> Items(Dlg& d, int id) {
    std::vector<std::string> items;
    zfw::ComboBox box = d.comboBox(id);
    for (int i = 0; i < box.count(); ++i) items.push_back(box.lbText(i));
    return items;
  }
  static void ChooseChannel(Dlg& d, int id, int channel) {
    const int at = d.comboBox(id).findStringExact(std::to_string(channel));
    ASSERT_GE(at, 0);
    ASSERT_TRUE(zfw::testing::chooseComboItem(d, id, at));
  }
  std::vector<int> Channels() const {
    std::vector<int> list;
    for (uint8_t c : page->Filter().channels) {
      if (c == 0) break;
      list.push_back(c);
    }
    return list;
  }
};

TEST_F(ZelconAdvancedFilter, OpensOnTheFilterAndStoresAChannelRange) {
  RunFilter([&](Dlg& d) {
    EXPECT_TRUE(d.isChecked(Dlg::IDC_ANY_SSID));
    EXPECT_TRUE(d.isChecked(Dlg::IDC_ANY_BSSID));
    EXPECT_TRUE(d.isChecked(Dlg::IDC_ALL_CHANNELS));
    EXPECT_FALSE(d.isItemEnabled(Dlg::IDC_SSID));
    EXPECT_FALSE(d.isItemEnabled(Dlg::IDC_BSSID_FIRST));
    EXPECT_FALSE(d.isItemEnabled(Dlg::IDC_SINGLE_CHANNEL));
    EXPECT_FALSE(d.isItemEnabled(Dlg::IDC_FROM_CHANNEL));
    EXPECT_EQ(d.itemText(Dlg::IDC_BSSID_FIRST), "00");
    EXPECT_EQ(Items(d, Dlg::IDC_SINGLE_CHANNEL).size(), 14u);

    ASSERT_TRUE(zfw::testing::click(d, Dlg::IDC_CHANNEL_RANGE));
    EXPECT_TRUE(d.isItemEnabled(Dlg::IDC_FROM_CHANNEL));
    EXPECT_TRUE(d.isItemEnabled(Dlg::IDC_TO_CHANNEL));
    EXPECT_FALSE(d.isItemEnabled(Dlg::IDC_SINGLE_CHANNEL));
    ChooseChannel(d, Dlg::IDC_FROM_CHANNEL, 3);
    // "to" now starts at 3; choosing 6 narrows "from" to 1..6.
    EXPECT_EQ(Items(d, Dlg::IDC_TO_CHANNEL).front(), "3");
    ChooseChannel(d, Dlg::IDC_TO_CHANNEL, 6);
    EXPECT_EQ(Items(d, Dlg::IDC_FROM_CHANNEL),
              (std::vector<std::string>{"1", "2", "3", "4", "5", "6"}));
    EXPECT_EQ(d.comboBox(Dlg::IDC_FROM_CHANNEL).lbText(d.comboBox(Dlg::IDC_FROM_CHANNEL).curSel()), "3");
    ASSERT_TRUE(zfw::testing::click(d, zfw::IDOK));
  });
  EXPECT_FALSE(page->Filter().allChannels);
  EXPECT_EQ(Channels(), (std::vector<int>{3, 4, 5, 6}));

  // Reopened, the range is shown as stored; a single channel replaces it.
  RunFilter([&](Dlg& d) {
    EXPECT_TRUE(d.isChecked(Dlg::IDC_CHANNEL_RANGE));
    EXPECT_EQ(d.comboBox(Dlg::IDC_TO_CHANNEL).lbText(d.comboBox(Dlg::IDC_TO_CHANNEL).curSel()), "6");
    ASSERT_TRUE(zfw::testing::click(d, Dlg::IDC_ONE_CHANNEL));
    ChooseChannel(d, Dlg::IDC_SINGLE_CHANNEL, 11);
    ASSERT_TRUE(zfw::testing::click(d, zfw::IDOK));
  });
  EXPECT_EQ(Channels(), std::vector<int>{11});

  // Scanning all channels lists 1 to 14; Cancel keeps the filter as it was.
  RunFilter([&](Dlg& d) {
    ASSERT_TRUE(zfw::testing::click(d, Dlg::IDC_ALL_CHANNELS));
    ASSERT_TRUE(zfw::testing::click(d, zfw::IDOK));
  });
  EXPECT_TRUE(page->Filter().allChannels);
  EXPECT_EQ(Channels().size(), 14u);
  RunFilter([&](Dlg& d) {
    ASSERT_TRUE(zfw::testing::click(d, Dlg::IDC_ONE_CHANNEL));
    ASSERT_TRUE(zfw::testing::click(d, zfw::IDCANCEL));
  });
  EXPECT_TRUE(page->Filter().allChannels);
}

TEST_F(ZelconAdvancedFilter, SsidAndBssidExcludeEachOtherAndAnEmptySsidIsRefused) {
  RunFilter([&](Dlg& d) {
    ASSERT_TRUE(zfw::testing::click(d, Dlg::IDC_FIND_BSSID));
    EXPECT_TRUE(d.isItemEnabled(Dlg::IDC_BSSID_FIRST + 5));
    ASSERT_TRUE(zfw::testing::click(d, Dlg::IDC_FIND_SSID));
    EXPECT_TRUE(d.isChecked(Dlg::IDC_ANY_BSSID));  // forced back
    EXPECT_FALSE(d.isItemEnabled(Dlg::IDC_BSSID_FIRST));
    EXPECT_TRUE(d.isItemEnabled(Dlg::IDC_SSID));
    ASSERT_TRUE(zfw::testing::click(d, zfw::IDOK));
    ASSERT_NE(fake.boxes.last(), nullptr);
    EXPECT_EQ(fake.boxes.last()->text, "Please enter a valid SSID!");
    EXPECT_EQ(fake.boxes.last()->flags, zfw::MB_ICONEXCLAMATION);
    EXPECT_FALSE(d.isEnded());
    ASSERT_TRUE(zfw::testing::typeText(d, Dlg::IDC_SSID, "Office"));
    ASSERT_TRUE(zfw::testing::click(d, zfw::IDOK));
    EXPECT_TRUE(d.isEnded());
  });
  EXPECT_FALSE(page->Filter().anySsid);
  EXPECT_TRUE(page->Filter().anyBssid);
  EXPECT_EQ(page->Filter().ssid, "Office");
  lib.ClearCalls();
  ASSERT_TRUE(zfw::testing::click(*page, CSiteSurvey::IDC_REFRESH));
  const std::vector<std::string> calls = lib.CallTexts();
  EXPECT_TRUE(std::any_of(calls.begin(), calls.end(),
                          [](const std::string& c) { return c.starts_with("SsidScan"); }));
}

TEST_F(ZelconAdvancedFilter, BssidBoxesTakeHexadecimalDigitsReadNibbleByNibble) {
  struct Case {
    const char* typed;
    const char* shown;
    uint8_t byte;
  };
  const Case cases[] = {
      {"a5", "A5", 0xA5}, {"5", "5", 0x50}, {"zq", "", 0x00}, {"g7", "7", 0x70}, {"FF", "FF", 0xFF},
  };
  RunFilter([&](Dlg& d) {
    ASSERT_TRUE(zfw::testing::click(d, Dlg::IDC_FIND_BSSID));
    EXPECT_TRUE(d.isChecked(Dlg::IDC_ANY_SSID));
    for (int i = 0; i < 5; ++i) {
      d.setItemText(Dlg::IDC_BSSID_FIRST + i, "");
      ASSERT_TRUE(zfw::testing::typeText(d, Dlg::IDC_BSSID_FIRST + i, cases[i].typed));
      EXPECT_EQ(d.itemText(Dlg::IDC_BSSID_FIRST + i), cases[i].shown) << cases[i].typed;
    }
    ASSERT_TRUE(zfw::testing::click(d, zfw::IDOK));
  });
  for (int i = 0; i < 5; ++i) EXPECT_EQ(page->Filter().bssid[i], cases[i].byte) << cases[i].typed;
  EXPECT_FALSE(page->Filter().anyBssid);
  // The reading rule itself, for text that typing cannot give.
  EXPECT_EQ(Dlg::BssidByteOfText("z5"), 0x05);
  EXPECT_EQ(Dlg::BssidByteOfText("5z"), 0x50);
  EXPECT_EQ(Dlg::BssidByteOfText(""), 0x00);
}

}  // namespace
}  // namespace zelcon_test
