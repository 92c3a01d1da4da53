#include "utility/ui/text_progress_ctrl.h"

#include <gtest/gtest.h>

#include <QImage>

#include "platform/gui/testing/gui_kit.h"

namespace {

TEST(TextProgressLook, ShareOfTheRangeAndItsText) {
  struct Case {
    int pos, low, high, width;
    int fill;
    std::optional<std::string> text;
  };
  const Case cases[] = {
      {36, 0, 40, 200, 180, " 90 %"}, {0, 0, 40, 200, 0, "  0 %"},  {40, 0, 40, 200, 200, "100 %"},
      {50, 0, 40, 200, 200, "100 %"}, {5, 5, 5, 200, 0, std::nullopt},  // an empty range
      {3, 7, 2, 200, 0, std::nullopt},
  };
  for (const Case& c : cases) {
    const TextProgressLook look = TextProgressLookOf(c.pos, c.low, c.high, c.width);
    EXPECT_EQ(look.fillWidth, c.fill) << c.pos;
    EXPECT_EQ(look.text, c.text) << c.pos;
  }
}

TEST(TextProgressLook, TheGradientRunsFromRedToGreenAlongTheWholeBar) {
  EXPECT_EQ(TextProgressColourAt(0, 101), 0xFF0000u);
  EXPECT_EQ(TextProgressColourAt(100, 101), 0x00FF00u);
  EXPECT_EQ(TextProgressColourAt(50, 101), 0x807F00u);
}

TEST(CTextProgressCtrl, DrawsTheFilledShareOverTheBackground) {
  zfw::testing::ensureGuiApp();
  CTextProgressCtrl bar;
  bar.resize(200, 20);
  bar.setRange(0, 40);
  bar.setValue(20);
  const QImage image = bar.grab().toImage();
  const QColor left = image.pixelColor(1, 2);
  EXPECT_GT(left.red(), 200);
  EXPECT_LT(left.green(), 20);
  const QColor right = image.pixelColor(190, 2);
  EXPECT_EQ(right, bar.palette().color(QPalette::Button));  // beyond the fill

  bar.setRange(5, 5);
  const QImage empty = bar.grab().toImage();
  for (int x : {1, 100, 190}) EXPECT_EQ(empty.pixelColor(x, 10), bar.palette().color(QPalette::Button));
}

}  // namespace
