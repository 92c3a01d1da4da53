#include "utility/core/region_channels.h"

#include <gtest/gtest.h>

namespace zelcon {
namespace {

TEST(RegionChannels, EachRegionCodeGivesItsChannelRange) {
  struct Case {
    uint32_t code, region, first, last;
  };
  const Case cases[] = {
      {0x10, 0x10, 1, 11}, {0x20, 0x20, 1, 11}, {0x30, 0x30, 1, 13}, {0x31, 0x31, 10, 11},
      {0x32, 0x32, 11, 13}, {0x40, 0x40, 1, 14}, {0x00, 0x10, 1, 11}, {0x41, 0x10, 1, 11},
  };
  for (const Case& c : cases) {
    RegionChannels r = ChannelsForRegion(c.code);
    EXPECT_EQ(r.regionCode, c.region) << std::hex << c.code;
    EXPECT_EQ(r.firstChannel, c.first) << std::hex << c.code;
    EXPECT_EQ(r.lastChannel, c.last) << std::hex << c.code;
  }
}

}  // namespace
}  // namespace zelcon
