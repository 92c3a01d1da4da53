#pragma once
// Channels of the 2.4 GHz band: the scan order of each region, the channels a region
// allows, and the mapping between channel numbers and frequencies in kHz.
#include <cstdint>

struct CoreAdapter;

namespace zelnic::core {

inline constexpr std::uint32_t kRegionCount = 6;
inline constexpr std::uint32_t kChannelListBytes = 14;
using ChannelList = std::uint8_t[kChannelListBytes];

// The region's channels in scan order, 0-padded; an index beyond the table is region 0's.
const ChannelList& RegionChannels(std::uint32_t regionIndex);

// Channel 14 is 2,484,000 kHz; any other channel c is 2,407,000 + 5,000 x c kHz.
std::uint32_t ChannelFrequency(std::uint32_t channel);
std::uint32_t FrequencyChannel(std::uint32_t frequencyKhz);

// The scan list for a channel-range word (high byte first channel, low byte last) or, for 0,
// the region's list.
void FillScanChannels(std::uint8_t (&list)[kChannelListBytes], std::uint32_t channelRange,
                      std::uint32_t regionIndex);

// With a channel range set, the channel must be in the scan list; otherwise it must be
// 1..14 and allowed in the region.
bool IsChannelAllowed(const CoreAdapter* core, std::uint32_t channel);

}  // namespace zelnic::core
