#include "driver/core/channels.h"

#include <algorithm>

#include "driver/core/core_adapter.h"
#include "driver/hal/hal_adapter.h"

namespace zelnic::core {
namespace {

constexpr ChannelList kRegionChannels[kRegionCount] = {
    {1, 4, 7, 10, 2, 5, 8, 11, 3, 6, 9},
    {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
    {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13},
    {10, 11},
    {10, 11, 12, 13},
    {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14},
};

constexpr std::uint32_t kChannel14Khz = 2484000;
constexpr std::uint32_t kChannel0Khz = 2407000;
constexpr std::uint32_t kChannelSpacingKhz = 5000;

bool Lists(const ChannelList& list, std::uint32_t channel) {
  return channel != 0 && std::find(std::begin(list), std::end(list), channel) != std::end(list);
}

}  // namespace

const ChannelList& RegionChannels(std::uint32_t regionIndex) {
  return kRegionChannels[regionIndex < kRegionCount ? regionIndex : 0];
}

std::uint32_t ChannelFrequency(std::uint32_t channel) {
  return channel == 14 ? kChannel14Khz : kChannel0Khz + kChannelSpacingKhz * channel;
}

std::uint32_t FrequencyChannel(std::uint32_t frequencyKhz) {
  if (frequencyKhz == kChannel14Khz) return 14;
  return frequencyKhz < kChannel0Khz ? 0 : (frequencyKhz - kChannel0Khz) / kChannelSpacingKhz;
}

void FillScanChannels(std::uint8_t (&list)[kChannelListBytes], std::uint32_t channelRange,
                      std::uint32_t regionIndex) {
  if (channelRange == 0) {
    std::copy(std::begin(RegionChannels(regionIndex)), std::end(RegionChannels(regionIndex)), list);
    return;
  }
  const std::uint32_t first = (channelRange >> 8) & 0xFF;
  const std::uint32_t last = channelRange & 0xFF;
  for (std::uint32_t i = 0; i < kChannelListBytes; ++i)
    list[i] = first + i - 1 < last ? static_cast<std::uint8_t>(first + i) : 0;
}

bool IsChannelAllowed(const CoreAdapter* core, std::uint32_t channel) {
  if (core->Config.channelRange != 0) return Lists(core->ScanChannels, channel);
  if (channel < 1 || channel > 14) return false;
  // The channels a DS parameter set may name are the region's scan channels.
  return Lists(RegionChannels(hal::RegionIndex(core->Hal)), channel);
}

}  // namespace zelnic::core
