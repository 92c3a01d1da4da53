#include "utility/ui/throughput_meter.h"

#include <gtest/gtest.h>

namespace {

TEST(ThroughputMeter, RatesFollowTheCountersAndAResetCountsAsNoTraffic) {
  ThroughputMeter meter;
  struct Step {
    uint64_t tick;
    uint32_t in, out;
    bool rated;
    uint64_t rx, tx;
  };
  const Step steps[] = {
      {1000, 0, 0, false, 0, 0},             // the first sample is the base
      {2000, 125'000, 1'250, true, 1'000'000, 10'000},
      {2000, 250'000, 2'500, false, 0, 0},    // the clock has not moved
      {4000, 375'000, 2'500, true, 1'000'000, 5'000},  // over 2 s from the last base
      {5000, 1'000, 3'000, true, 0, 4'000},   // the receive counter was reset: rebased
      {6000, 1'125, 3'125, true, 1'000, 1'000},
      {7000, 0xFFFF'FFFF, 3'125, true, (0xFFFF'FFFFull - 1'125) * 8, 0},  // no 32-bit overflow
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.tick);
    const auto rates = meter.Sample(s.tick, s.in, s.out);
    ASSERT_EQ(rates.has_value(), s.rated);
    if (!rates) continue;
    EXPECT_EQ(rates->rxBps, s.rx);
    EXPECT_EQ(rates->txBps, s.tx);
  }
}

TEST(ThroughputMeter, TheScaleIsAFifthAboveTheLargestKeptRateAndAtLeast200) {
  ThroughputMeter meter;
  EXPECT_EQ(meter.TxTop(), 1200u);  // before any traffic
  meter.Sample(0, 0, 0);
  meter.Sample(1000, 0, 12);  // 96 bit/s sent, nothing received
  EXPECT_EQ(meter.TxTop(), 200u);
  EXPECT_EQ(meter.RxTop(), 1200u);  // no traffic keeps the last scale
  meter.Sample(2000, 0, 12 + 125'000);
  EXPECT_EQ(meter.TxTop(), 1'200'000u);
  // 60 quiet samples later the burst has left the history; the scale keeps it until
  // traffic is seen again.
  for (int i = 3; i < 63; ++i) meter.Sample(uint64_t(i) * 1000, 0, 12 + 125'000 + uint32_t(i));
  EXPECT_EQ(meter.TxTop(), 200u);  // 8 bit/s now the largest
}

TEST(RateText, EachRangeHasItsUnit) {
  const std::pair<uint64_t, const char*> cases[] = {
      {0, "0 bps"},          {100, "100 bps"},        {999, "999 bps"},
      {1000, "1.0 Kbps"},    {200, "200 bps"},        {999'999, "1000.0 Kbps"},
      {1'000'000, "1.0 Mbps"}, {54'000'000, "54.0 Mbps"},
  };
  for (const auto& [bps, text] : cases) EXPECT_EQ(RateText(bps), text) << bps;
}

}  // namespace
