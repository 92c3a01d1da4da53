#include "utility/ui/debug_win.h"

#include <gtest/gtest.h>

#include "utility/ui/testing/show_page.h"

namespace zelcon_test {
namespace {

using zfw::testing::click;
using zfw::testing::replaceText;

TEST(DebugWinHex, ParsesHexadecimalIndexesAndValues) {
  const std::pair<const char*, std::optional<uint32_t>> cases[] = {
      {"1a", 0x1A}, {"1A", 0x1A}, {"0", 0}, {"FFFFFFFF", 0xFFFFFFFF}, {"1G", std::nullopt},
      {"", std::nullopt}, {" 1", std::nullopt}, {"123456789", std::nullopt}};
  for (const auto& [text, value] : cases) EXPECT_EQ(CDebugWin::ParseHex(text), value) << text;
}

TEST(DebugWinHex, FilterFixesTheLastFaultFromTheEnd) {
  const struct {
    const char* typed;
    const char* text;  // null: left as it is
    int caret;
  } cases[] = {{"1A", nullptr, 0},  {"1a", "1A", 2},  {"1g", "1", 1},
               {"g1", "1", 0},      {"a1x", "a1", 2}, {"Ab", "AB", 2}};
  for (const auto& c : cases) {
    const std::optional<CDebugWin::Filtered> f = CDebugWin::FilterHex(c.typed);
    if (!c.text) {
      EXPECT_FALSE(f) << c.typed;
      continue;
    }
    ASSERT_TRUE(f) << c.typed;
    EXPECT_EQ(f->text, c.text) << c.typed;
    EXPECT_EQ(f->caret, c.caret) << c.typed;
  }
}

struct DebugWinTest : ZelconFixture {
  CDebugWin* page = nullptr;

  DebugWinTest() {
    plat::IniFile ini = Ini();
    ini.WriteInt("Debug", "DebugWin", 1);
  }
  void Show() { ASSERT_NE(page = ShowPage<CDebugWin>(*this), nullptr); }
  std::vector<std::string> Calibration() {
    std::vector<std::string> texts;
    for (int row = 0; row < 4; ++row) {
      texts.push_back(page->itemText(1113 + row) + "|" + page->itemText(1108 + row) + "|" +
                      page->itemText(1117 + row));
    }
    return texts;
  }
};

TEST_F(DebugWinTest, EditsFilterTypedTextLive) {
  Show();
  replaceText(*page, 1006, "1a");
  EXPECT_EQ(page->itemText(1006), "1A");
  replaceText(*page, 1003, "7z");
  EXPECT_EQ(page->itemText(1003), "7");
  replaceText(*page, 1007, "x1y2");  // pasted: every fault goes at once
  EXPECT_EQ(page->itemText(1007), "12");
}

TEST_F(DebugWinTest, RegisterReadsAndWritesAsExactCalls) {
  lib.SetDword("QueryMacRegister", 0x1234);
  lib.SetDword("QueryBbRegister", 0x5);
  lib.SetDword("QueryRfRegister", 0xAB);
  Show();
  const struct {
    const char* name;
    int indexEdit, valueEdit, button;
    const char* index;
    const char* value;
    std::vector<std::string> calls;
    const char* shown;
  } cases[] = {
      {"MAC read", 1006, 1007, 1015, "1a", "", {"QueryMacRegister(26)"}, "1234"},
      {"BB read, low bank", 1004, 1005, 1013, "7f", "", {"SetBbRegister(0, 0)", "QueryBbRegister(127)"}, "05"},
      {"BB read, high bank", 1004, 1005, 1013, "85", "", {"SetBbRegister(0, 128)", "QueryBbRegister(133)"}, "05"},
      {"RF read", 1002, 1003, 1011, "3", "", {"QueryRfRegister(3)"}, "AB"},
      {"MAC write", 1006, 1007, 1016, "10", "ff", {"SetMacRegister(16, 255)", "QueryMacRegister(16)"}, "1234"},
      {"BB write", 1004, 1005, 1014, "90", "1", {"SetBbRegister(0, 128)", "SetBbRegister(144, 1)", "SetBbRegister(0, 128)", "QueryBbRegister(144)"}, "05"},
      {"RF write", 1002, 1003, 1012, "2", "3c", {"SetRfRegister(2, 60)", "QueryRfRegister(2)"}, "AB"},
      {"write without a value", 1002, 1003, 1012, "2", "", {}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    replaceText(*page, c.indexEdit, c.index);
    replaceText(*page, c.valueEdit, c.value);
    lib.ClearCalls();
    const uint64_t before = fake.clock.tickCount();
    ASSERT_TRUE(click(*page, c.button));
    EXPECT_EQ(lib.CallTexts(), c.calls);
    EXPECT_EQ(page->itemText(c.valueEdit), c.shown);
    const bool write = c.button % 2 == 0 && !c.calls.empty();
    EXPECT_EQ(fake.clock.tickCount() - before, write ? 200u : 0u);  // the write settles first
  }
}

TEST_F(DebugWinTest, CalibrationTableFollowsTheRadioKind) {
  const struct {
    uint32_t registers;  // what every RF register reads
    std::vector<std::string> queried;
    std::vector<std::string> table;
  } kinds[] = {
      {3,
       {"QueryRfRegister(0)", "QueryRfRegister(26)", "QueryRfRegister(27)", "QueryRfRegister(28)",
        "QueryRfRegister(33)"},
       {"1AH|0x03|00 -- 37", "1BH|0x03|00 -- FF", "1CH|0x03|00 -- FF", "21H[5:0]|0x03|00 -- 37"}},
      {0x7E,
       {"QueryRfRegister(0)", "QueryRfRegister(32)", "QueryRfRegister(38)", "QueryRfRegister(36)"},
       {"20H|0x7E|6C -- 7A", "26H|0x7E|33, 43, 53, 63", "24H[3:0]|0x_E|3 -- B during Tx ", "||"}},
  };
  lib.SetDword("QueryChipVersion", 2);
  for (const auto& k : kinds) {
    lib.SetDword("QueryRfRegister", k.registers);
    Show();
    EXPECT_EQ(Calibration(), k.table);
    EXPECT_EQ(page->itemText(1009), "2.0");
    lib.ClearCalls();
    ASSERT_TRUE(click(*page, 1107));
    EXPECT_EQ(lib.CallTexts(), k.queried);
  }
  zfw::testing::saveScreenshot(Sheet(), "debug_page");
}

TEST_F(DebugWinTest, RefreshEverySecondIsKeptAndDrivesTheTimer) {
  Show();
  EXPECT_TRUE(fake.timers.isRunning(*page, CDebugWin::kTimerId));
  lib.ClearCalls();
  fake.timers.advance(1000);
  EXPECT_FALSE(Called("QueryRfRegister(0)"));  // the box is clear

  ASSERT_TRUE(click(*page, 1017));
  EXPECT_EQ(Ini().ReadInt("Debug", "RefreshRfCal", 0), 1);
  fake.timers.advance(1000);
  EXPECT_TRUE(Called("QueryRfRegister(0)"));

  ASSERT_TRUE(Sheet().setActivePage(0));
  EXPECT_FALSE(fake.timers.isRunning(*page, CDebugWin::kTimerId));
  Show();  // a new start reads the box from the settings file
  EXPECT_EQ(page->isChecked(1017), 1);
}

TEST_F(DebugWinTest, RefreshRateBoxGoesToTheSheetAndTheSettingsFile) {
  Show();
  EXPECT_FALSE(page->isItemVisible(1253));
  ASSERT_TRUE(click(*page, 1254));
  EXPECT_EQ(Sheet().m_refreshRatePs, 1);
  EXPECT_EQ(Ini().ReadInt("Debug", "RefreshRatePS", 0), 1);
}

}  // namespace
}  // namespace zelcon_test
