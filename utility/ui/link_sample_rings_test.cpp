#include "utility/ui/link_sample_rings.h"

#include <gtest/gtest.h>

namespace {

TEST(LinkSampleRings, TheBarIsTheRoundedUpMeanOfTheLastTenSignalSamples) {
  LinkSampleRings rings;
  EXPECT_EQ(rings.AddRssi(-60), 36);
  EXPECT_EQ(rings.AddRssi(-61), 36);  // mean 35.5 rounds up
  for (int i = 0; i < 10; ++i) rings.AddRssi(-80);
  EXPECT_EQ(rings.AddRssi(-80), 16);  // the older samples have left the ring
  rings.Clear();
  EXPECT_EQ(rings.AddRssi(-50), 40);  // at most 40
  rings.Clear();
  EXPECT_EQ(rings.AddRssi(-120), 0);  // at least 0
}

TEST(LinkSampleRings, TheSpeedIsTheLargestOfTheLastFiveOrTheLatest) {
  LinkSampleRings rings;
  EXPECT_EQ(rings.AddLinkSpeed(540000, false), 540000u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(rings.AddLinkSpeed(110000, false), 540000u);
  EXPECT_EQ(rings.AddLinkSpeed(110000, false), 110000u);  // the 54 Mbps reading is gone
  EXPECT_EQ(rings.AddLinkSpeed(20000, true), 20000u);
}

TEST(LinkSpeedText, WholeAndHalfMegabits) {
  EXPECT_EQ(LinkSpeedText(540000), "54 Mbps");
  EXPECT_EQ(LinkSpeedText(55000), "5.5 Mbps");
  EXPECT_EQ(LinkSpeedText(110000), "11 Mbps");
  EXPECT_EQ(LinkSpeedText(10000), "1 Mbps");
}

}  // namespace
