#include "utility/ui/about_page.h"

#include <gtest/gtest.h>

#include "utility/ui/testing/show_page.h"

namespace zelcon_test {
namespace {

using zfw::testing::processEvents;

struct AboutPageTest : ZelconFixture {
  CAboutPage* page = nullptr;

  void Show() { ASSERT_NE(page = ShowPage<CAboutPage>(*this), nullptr); }
};

TEST_F(AboutPageTest, ShowsTheVersionsAndTheAdapter) {
  fake.versionInfo.program = zfw::ProductVersion{1, 2, 3, 4};
  fake.versionInfo.library = zfw::ProductVersion{5, 6, 0, 7};
  fake.versionInfo.date = zfw::FileDate{12, 9, 2026};
  lib.SetDword("QueryChipVersion", 3);
  lib.SetDword("QueryFirmwareVersion", 0x01020304);
  lib.SetText("QueryDriverVersion", "2.1.0.9");
  lib.SetText("QueryDriverDate", "11-30-2026");
  lib.SetBytes("GetMacAddress", {0x00, 0x1E, 0x4D, 0xa0, 0x0b, 0xFF});
  lib.SetDword("QueryRegionCode", 0x30);
  Show();
  EXPECT_EQ(page->itemText(1073), "1.2.3.4 (12-9-2026)");
  EXPECT_EQ(page->itemText(1074), "5.6.0.7 (12-9-2026)");
  EXPECT_EQ(page->itemText(1009), "3.0");
  EXPECT_EQ(page->itemText(1001), "1.2.3.4");
  EXPECT_EQ(page->itemText(1068), "2.1.0.9 (11-30-2026)");
  EXPECT_EQ(page->itemText(1048), "00 1E 4D A0 0B FF");
  EXPECT_EQ(page->itemText(1132), "Region Code:");
  EXPECT_EQ(page->itemText(1076), "ETSI (Europe)");
  zfw::testing::saveScreenshot(Sheet(), "about");
}

TEST_F(AboutPageTest, FailedQueriesLeaveTheirFieldsEmpty) {
  for (const char* op : {"QueryChipVersion", "QueryFirmwareVersion", "QueryDriverVersion",
                         "GetMacAddress"}) {
    lib.SetResult(op, 1);
  }
  fake.versionInfo.library.reset();  // no library version to be found
  Show();
  EXPECT_EQ(page->itemText(1073), "1.0.0.0 (3-5-2007)");
  EXPECT_EQ(page->itemText(1074), "");
  for (int id : {1009, 1001, 1068, 1048}) EXPECT_EQ(page->itemText(id), "") << id;
}

TEST_F(AboutPageTest, WithoutAnAdapterOnlyTheVersionsShow) {
  lib.adapter = nullptr;
  lib.SetDword("QueryChipVersion", 3);
  Show();
  EXPECT_EQ(page->itemText(1073), "1.0.0.0 (3-5-2007)");
  EXPECT_EQ(page->itemText(1074), "1.0.0.0 (3-5-2007)");
  for (int id : {1009, 1001, 1068, 1048, 1076}) EXPECT_EQ(page->itemText(id), "") << id;
  EXPECT_FALSE(Called("QueryChipVersion()"));
}

TEST(AboutPageRegion, NamesEveryRegionCode) {
  const std::pair<uint32_t, const char*> cases[] = {
      {0x10, "FCC (United States)"}, {0x20, "IC (Canada)"}, {0x30, "ETSI (Europe)"},
      {0x31, "Spain"},               {0x32, "France"},      {0x40, "MKK (Japan)"},
      {0x41, "FCC (United States)"}, {0, "FCC (United States)"}};
  for (const auto& [code, name] : cases) EXPECT_EQ(CAboutPage::RegionName(code), name) << code;
}

}  // namespace
}  // namespace zelcon_test
