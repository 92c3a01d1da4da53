#include "utility/ui/test_page.h"

#include <gtest/gtest.h>

#include "utility/ui/testing/show_page.h"

namespace zelcon_test {
namespace {

using zfw::testing::click;
using zfw::testing::replaceText;

struct TestPageTest : ZelconFixture {
  CTestPage* page = nullptr;

  TestPageTest() {
    plat::IniFile ini = Ini();
    ini.WriteInt("Debug", "TestPage", 1);
    lib.SetDword("QueryChannelRange", 0x010B);
    lib.SetDword("QuerySignalThreshold", 60);
    lib.SetDword("QueryTxFailThreshold", 30);
  }
  void Show() { ASSERT_NE(page = ShowPage<CTestPage>(*this), nullptr); }
};

TEST_F(TestPageTest, ActivationGetsTheAdapterValues) {
  Show();
  EXPECT_EQ(page->itemText(1002), "1");
  EXPECT_EQ(page->itemText(1003), "11");
  EXPECT_EQ(page->itemText(1004), "60");
  EXPECT_EQ(page->itemText(1005), "30");
  zfw::testing::saveScreenshot(Sheet(), "test_page");
}

TEST_F(TestPageTest, ChannelRangeIsSentAsFromAndTo) {
  Show();
  replaceText(*page, 1002, "36");
  replaceText(*page, 1003, "64");
  lib.ClearCalls();
  ASSERT_TRUE(click(*page, 1012));
  EXPECT_EQ(lib.CallTexts(), std::vector<std::string>{"SetChannelRange(9280)"});  // 0x2440
}

TEST_F(TestPageTest, ThresholdsOutsideTheirRangesAreRefused) {
  Show();
  const struct {
    int edit, button;
    const char* text;
    const char* sent;  // null: refused
    const char* message;
  } cases[] = {
      {1004, 1014, "9", nullptr, "Signal Threshold range is from 10 to 200 !"},
      {1004, 1014, "201", nullptr, "Signal Threshold range is from 10 to 200 !"},
      {1004, 1014, "", nullptr, "Signal Threshold range is from 10 to 200 !"},
      {1004, 1014, "10", "SetSignalThreshold(10)", nullptr},
      {1004, 1014, "200", "SetSignalThreshold(200)", nullptr},
      {1005, 1016, "101", nullptr, "Signal Threshold range is from 0 to 100 !"},
      {1005, 1016, "0", "SetTxFailThreshold(0)", nullptr},
      {1005, 1016, "", "SetTxFailThreshold(0)", nullptr},  // empty is 0
      {1005, 1016, "100", "SetTxFailThreshold(100)", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " in " + std::to_string(c.edit));
    replaceText(*page, c.edit, c.text);
    lib.ClearCalls();
    const size_t boxes = fake.boxes.boxes().size();
    ASSERT_TRUE(click(*page, c.button));
    if (c.sent) {
      EXPECT_EQ(lib.CallTexts(), std::vector<std::string>{c.sent});
      EXPECT_EQ(fake.boxes.boxes().size(), boxes);
    } else {
      EXPECT_TRUE(lib.CallTexts().empty());
      ASSERT_EQ(fake.boxes.boxes().size(), boxes + 1);
      EXPECT_EQ(fake.boxes.last()->text, c.message);
      EXPECT_EQ(page->itemText(c.edit), "");
      EXPECT_EQ(page->focusedItem(), c.edit);
    }
  }
}

TEST_F(TestPageTest, RadarDetectAndGetPassTheHandleEvenWhenNull) {
  lib.adapter = nullptr;
  Show();
  lib.ClearCalls();
  ASSERT_TRUE(click(*page, 1132));
  ASSERT_TRUE(click(*page, 1011));
  const std::vector<zelcon::RecordingAdapterControl::Call> calls = lib.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].text, "RadarDetected()");
  EXPECT_EQ(calls[0].handle, nullptr);
  EXPECT_EQ(calls[1].text, "QueryChannelRange()");
}

}  // namespace
}  // namespace zelcon_test
