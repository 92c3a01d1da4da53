#pragma once
// The channels an adapter may use, by the region code it reports.
#include <cstdint>

namespace zelcon {

struct RegionChannels {
  uint32_t regionCode;  // an unknown code is taken as 0x10 (FCC)
  uint32_t firstChannel;
  uint32_t lastChannel;
};

RegionChannels ChannelsForRegion(uint32_t regionCode);

}  // namespace zelcon
