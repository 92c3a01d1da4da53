#include "utility/ui/graph_ctrl.h"

#include <gtest/gtest.h>

#include "platform/gui/testing/gui_kit.h"

namespace {

bool ColumnHas(const QImage& image, int x, QRgb colour) {
  for (int y = 0; y < image.height(); ++y) {
    if (image.pixel(x, y) == colour) return true;
  }
  return false;
}

TEST(CGraphCtrl, ValuesAreHeldWithinTheRange) {
  zfw::testing::ensureGuiApp();
  CGraphCtrl chart;
  chart.SetRange(1, 1000);
  EXPECT_EQ(chart.RangeSize(), 1000u);
  chart.SetRange(201, 400);
  EXPECT_EQ(chart.RangeSize(), 200u);
  chart.AddValue(100);   // below the range: the bottom
  chart.AddValue(5000);  // above: the top
  EXPECT_EQ(chart.Queued(), 2u);
  chart.Step();
  EXPECT_EQ(chart.Queued(), 0u);  // each step takes every queued value
}

TEST(CGraphCtrl, ScrollsTheGridAndDrawsTheMeanOfEachSecond) {
  zfw::testing::ensureGuiApp();
  CGraphCtrl chart;
  chart.resize(130, 66);
  chart.show();  // a hidden widget hears of its size when it is shown
  const int w = 130, bottom = 65;  // clear of the horizontal grid (64)
  {
    const QImage fresh = chart.Bitmap();
    ASSERT_EQ(fresh.size(), QSize(130, 66));
    EXPECT_EQ(fresh.pixel(5, 5), CGraphCtrl::kBackground);
    EXPECT_EQ(fresh.pixel(12, 30), CGraphCtrl::kGrid);  // vertical line one pixel before 13
    EXPECT_EQ(fresh.pixel(30, 12), CGraphCtrl::kGrid);  // horizontal line
    EXPECT_FALSE(ColumnHas(fresh, w - 12, CGraphCtrl::kLine));
  }
  chart.SetRange(1, 1000);
  chart.Step();  // nothing queued before the first value: no line
  EXPECT_FALSE(ColumnHas(chart.Bitmap(), w - 12, CGraphCtrl::kLine));

  chart.AddValue(1000);
  chart.Step();  // the top: the first point starts at its own height
  EXPECT_EQ(chart.Bitmap().pixel(w - 12, 0), CGraphCtrl::kLine);
  EXPECT_EQ(chart.Bitmap().pixel(w - 12, bottom), CGraphCtrl::kBackground);

  chart.AddValue(1);
  chart.AddValue(1);
  chart.Step();  // mean 1: down to the bottom; the last point moved 3 pixels left
  EXPECT_EQ(chart.Bitmap().pixel(w - 15, 0), CGraphCtrl::kLine);
  EXPECT_EQ(chart.Bitmap().pixel(w - 11, bottom), CGraphCtrl::kLine);

  chart.Step();  // no value this second: the line goes on at the same height
  EXPECT_EQ(chart.Bitmap().pixel(w - 12, bottom), CGraphCtrl::kLine);
  EXPECT_EQ(chart.Bitmap().pixel(w - 12, bottom / 2), CGraphCtrl::kBackground);
  // The grid scrolled with the picture: the line that stood at 12 is now at 0.
  EXPECT_EQ(chart.Bitmap().pixel(0, 30), CGraphCtrl::kGrid);
  EXPECT_EQ(chart.Bitmap().pixel(12, 30), CGraphCtrl::kBackground);
}

TEST(CGraphCtrl, TheLineIsDrawnWithThePenItWasGiven) {
  zfw::testing::ensureGuiApp();
  CGraphCtrl chart;
  chart.resize(130, 66);
  chart.show();
  chart.SetRange(1, 1000);
  const QRgb red = 0xFFFF0000;
  chart.SetLineColour(3, red);
  chart.AddValue(500);
  chart.Step();  // y = 65 - 500 * 65 / 1000 = 33, clear of the grid rows 25 and 38
  const QImage& bitmap = chart.Bitmap();
  const int x = 130 - 12;
  for (int y : {32, 33, 34}) EXPECT_EQ(bitmap.pixel(x, y), red) << y;
  EXPECT_EQ(bitmap.pixel(x, 30), CGraphCtrl::kBackground);
  EXPECT_EQ(bitmap.pixel(x, 36), CGraphCtrl::kBackground);
  EXPECT_FALSE(ColumnHas(bitmap, x, CGraphCtrl::kLine));
}

}  // namespace
