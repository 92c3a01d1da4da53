#include "sim/chip/channel_measurement.h"

#include <gtest/gtest.h>

#include "sim/chip/firmware_engine.h"

namespace simchip {
namespace {

std::vector<std::uint8_t> Record(std::uint16_t code, std::uint16_t action, std::size_t size) {
  std::vector<std::uint8_t> r(size, 0);
  r[0] = static_cast<std::uint8_t>(code);
  r[1] = static_cast<std::uint8_t>(code >> 8);
  r[8] = static_cast<std::uint8_t>(action);
  return r;
}

std::uint32_t Word(const std::vector<std::uint8_t>& r, std::size_t at) {
  return r[at] | r[at + 1] << 8 | r[at + 2] << 16 | static_cast<std::uint32_t>(r[at + 3]) << 24;
}

// Answers the command at `now` as the chip does: the response is the record's copy.
std::vector<std::uint8_t> Answer(ChannelMeasurement& m, std::uint16_t code, std::uint16_t action, std::size_t size,
                                 std::int64_t now) {
  const auto record = Record(code, action, size);
  auto response = record;
  m.answer(code, record, response, now);
  return response;
}

TEST(ChannelMeasurement, PowerRangesFollowFiveDecibelSteps) {
  const struct {
    int dbm;
    unsigned range;
  } cases[] = {{-95, 0}, {-88, 0}, {-87, 1}, {-83, 1}, {-82, 2}, {-58, 6}, {-57, 7}, {-20, 7}};
  for (const auto& c : cases) EXPECT_EQ(ChannelMeasurement::RpiRange(c.dbm), c.range) << c.dbm;
}

TEST(ChannelMeasurement, LoadAndHistogramAreSharesOfTheMeasuredTime) {
  ChannelMeasurement m;
  EXPECT_EQ(Answer(m, command::kMeasureFrames, 1, 16, 0)[8], 1);  // measuring: no result
  EXPECT_EQ(Answer(m, command::kMeasureHistogram, 1, 44, 0)[8], 1);
  // 1500 bytes at 1 Mbit/s: about 12.2 ms of a 100 ms measurement.
  simair::AirFrame frame;
  frame.bytes.assign(1500, 0);
  frame.rateHalfMbps = 2;
  m.heard(frame, {-60, 0});
  const auto load = Answer(m, command::kMeasureFrames, 0, 16, 100'000);
  EXPECT_EQ(load[8], 0);  // a result follows
  EXPECT_EQ(Word(load, 12), 31u);  // 12.2 % of 255
  const auto histogram = Answer(m, command::kMeasureHistogram, 0, 44, 100'000);
  EXPECT_EQ(histogram[8], 0);
  EXPECT_EQ(Word(histogram, 12 + 4 * 6), 31u);   // -60 dBm
  EXPECT_EQ(Word(histogram, 12 + 4 * 0), 223u);  // the quiet rest
  for (unsigned range : {1u, 2u, 3u, 4u, 5u, 7u}) EXPECT_EQ(Word(histogram, 12 + 4 * range), 0u) << range;
  // A stop without a start reports nothing heard.
  EXPECT_EQ(Word(Answer(m, command::kMeasureFrames, 0, 16, 200'000), 12), 0u);
}

}  // namespace
}  // namespace simchip
