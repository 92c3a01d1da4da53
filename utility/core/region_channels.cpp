#include "utility/core/region_channels.h"

namespace zelcon {

RegionChannels ChannelsForRegion(uint32_t regionCode) {
  switch (regionCode) {
    case 0x30: return {0x30, 1, 13};  // ETSI
    case 0x31: return {0x31, 10, 11};  // Spain
    case 0x32: return {0x32, 11, 13};  // France
    case 0x40: return {0x40, 1, 14};  // MKK
    case 0x20: return {0x20, 1, 11};  // IC
    default: return {0x10, 1, 11};  // FCC
  }
}

}  // namespace zelcon
