#include "utility/ui/text_progress_ctrl.h"

#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <cmath>

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

// The WCAG contrast ratio of two colours (1 the same, 21 black on white).
double Contrast(const QColor& a, const QColor& b) {
  const auto luminance = [](const QColor& c) {
    const auto linear = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
  };
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Over the empty part of the bar (all of it at 0 %, the middle of it below 50 %) the
// percentage must be readable on the light background, as it is on the gradient.
TEST(CTextProgressCtrl, ThePercentageCanBeReadOverTheEmptyPartOfTheBar) {
  zfw::testing::ensureGuiApp();
  CTextProgressCtrl bar;
  bar.resize(200, 20);
  bar.setRange(0, 40);
  const QColor background = bar.palette().color(QPalette::Button);
  for (int pos : {0, 10}) {
    bar.setValue(pos);
    const QImage image = bar.grab().toImage();
    double best = 1;
    for (int x = 80; x < 120; ++x) {
      for (int y = 0; y < image.height(); ++y) best = std::max(best, Contrast(image.pixelColor(x, y), background));
    }
    EXPECT_GE(best, 4.5) << "at " << pos;
  }
}

}  // namespace
