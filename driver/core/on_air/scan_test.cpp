// The scan as NDIS asks for it: the BSSID-list scan set completes once, when the region's
// channels (or the configured channel range) have been visited in order, and the BSSID list
// then holds what was heard.
#include <gtest/gtest.h>

#include <cstring>

#include "driver/core/channels.h"
#include "driver/core/on_air/air_station.h"
#include "driver/hal/hal_adapter.h"

namespace zelnic::core::testing {
namespace {

using namespace std::chrono_literals;

const std::string kWorld =
    "ap one\n bssid 02:00:00:00:00:01\n ssid one\n channel 1\n"
    "ap six\n bssid 02:00:00:00:00:06\n ssid six\n channel 6\n"
    "ap eleven\n bssid 02:00:00:00:00:0b\n ssid eleven\n channel 11\n";

class Scan : public AirStation {
protected:
  // The channels the firmware was tuned to since `from` commands.
  std::vector<int> Tunings(std::size_t from) const {
    std::vector<int> channels;
    const auto& commands = h.chip.commands();
    for (std::size_t i = from; i < commands.size(); ++i)
      if (commands[i].code == 0x010A && commands[i].record.size() > 10) channels.push_back(commands[i].record[10]);
    return channels;
  }
  ULONG ListCount() {
    const auto list = Query(OID_802_11_BSSID_LIST, 8192);
    EXPECT_EQ(list.status, NDIS_STATUS_SUCCESS);
    ULONG count = 0;
    std::memcpy(&count, list.data.data(), 4);
    return count;
  }
};

TEST_F(Scan, TheListScanCompletesOnceAfterTheRegionsChannelsInOrder) {
  StartWorld(kWorld);
  const std::size_t before = h.chip.commands().size();
  const auto start = h.scheduler.now();
  const auto result = h.host->set(OID_802_11_BSSID_LIST_SCAN, {});
  EXPECT_TRUE(result.pended);
  EXPECT_EQ(result.status, NDIS_STATUS_SUCCESS);
  std::vector<int> region;
  for (std::uint8_t c : RegionChannels(hal::RegionIndex(h.hal())))
    if (c != 0) region.push_back(c);
  EXPECT_EQ(Tunings(before), region);
  // 160 ms on each channel.
  EXPECT_GE(h.scheduler.now() - start, std::chrono::milliseconds(160 * region.size()));
  EXPECT_EQ(ListCount(), 3u);
  EXPECT_EQ(core->Flags & kFlagScanning, 0u);
}

TEST_F(Scan, AChannelRangeLimitsTheScan) {
  StartWorld(kWorld);
  h.run([&] { core->Config.channelRange = 0x0307; });  // channels 3 to 7
  const std::size_t before = h.chip.commands().size();
  EXPECT_EQ(h.host->set(OID_802_11_BSSID_LIST_SCAN, {}).status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(Tunings(before), (std::vector<int>{3, 4, 5, 6, 7}));
  EXPECT_EQ(ListCount(), 1u);  // only channel 6's access point
}

}  // namespace
}  // namespace zelnic::core::testing
