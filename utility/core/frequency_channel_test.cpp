#include "utility/core/frequency_channel.h"

#include <gtest/gtest.h>

namespace zelcon {
namespace {

TEST(ChannelOfFrequency, BothBands) {
  const std::pair<uint32_t, uint32_t> cases[] = {
      {2'412'000, 1},   {2'437'000, 6},  {2'472'000, 13}, {2'484'000, 14}, {2'411'000, 0},
      {0, 0},           {2'500'000, 0},  {5'180'000, 36}, {5'240'000, 48}, {5'260'000, 52},
      {5'320'000, 64},  {5'745'000, 149}, {5'825'000, 165},
  };
  for (const auto& [kHz, channel] : cases) EXPECT_EQ(ChannelOfFrequency(kHz), channel) << kHz;
}

}  // namespace
}  // namespace zelcon
