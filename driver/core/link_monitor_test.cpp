// The link monitor while the associated network's beacons are missing: which probes go
// out on which tick, Reconnect on the twentieth missed beacon, the drop on the fortieth.
#include "driver/core/link_monitor.h"

#include <gtest/gtest.h>

#include "driver/core/testing/core_fixture.h"
#include "driver/hal/hal_adapter.h"

namespace zelnic::core {
namespace {

using testing::StartedDriver;
using std::chrono::milliseconds;

constexpr std::uint8_t kAp[6] = {0x00, 0x0C, 0x41, 0x10, 0x20, 0x30};

class LinkMonitor : public StartedDriver {
protected:
  void SetUp() override {
    StartedDriver::SetUp();
    h.run([&] {
      core->MlmeState = kMlmeAssociated;
      core->MediaDisconnected = 0;
      std::copy(std::begin(kAp), std::end(kAp), core->Bssid.begin());
      core->CurrentSsid = Ssid{4, {'h', 'o', 'm', 'e'}};
      RestartLinkMonitor(core);  // every 150 ms
    });
  }
  // The probes queued so far: 'd' directed (address 3 broadcast, as the probe address),
  // 'b' broadcast to the BSS (address 3 the BSSID); anything else 'x'.
  std::string probes() const {
    std::string kinds;
    for (const auto& frame : queuedFrames()) {
      const bool toBss = std::memcmp(frame.data() + kAddress3, kAp, 6) == 0;
      const bool home = frame.size() >= kChipHeaderBytes + 6 &&
                        std::memcmp(frame.data() + kChipHeaderBytes, "\x00\x04home", 6) == 0;
      kinds += frame[2] != 0x40 || !home ? 'x' : toBss ? 'b' : 'd';
    }
    return kinds;
  }
  void ticks(int n) { h.advance(milliseconds(150 * n)); }
};

TEST_F(LinkMonitor, ProbesFollowTheMissedBeaconCount) {
  ticks(11);
  EXPECT_EQ(core->Link.MissedBeacons, 11);
  // Directed on every tick but the sixth; no broadcast yet.
  EXPECT_EQ(probes(), "ddddd" "ddddd");
  ticks(8);  // 12 to 19: the even ones above 10 add a broadcast probe
  EXPECT_EQ(probes(), "ddddd" "ddddd" "b" "d" "db" "d" "db" "d" "b" "d");
}

// High traffic: either of the chip layer's frame counts reaches 26 frames per millisecond of
// the monitor's period (150 ms here).
TEST_F(LinkMonitor, TwentySixFramesPerMillisecondInEitherDirectionIsHighTraffic) {
  struct Case {
    const char* name;
    std::uint32_t sent, received;
    std::uint8_t high;
  };
  const Case cases[] = {
      {"quiet", 0, 0, 0},
      {"one frame short, sending", 26 * 150 - 1, 0, 0},
      {"sending", 26 * 150, 0, 1},
      {"receiving", 0, 26 * 150, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    h.run([&] {
      core->HighTraffic = 0;
      core->Hal->tx.dataFrames = c.sent;
      core->Hal->rx.dataFrames = c.received;
    });
    ticks(1);
    EXPECT_EQ(core->HighTraffic, c.high);
  }
}

TEST_F(LinkMonitor, TheTwentiethMissedBeaconReconnectsAndTheFortiethDropsTheLink) {
  ticks(19);
  EXPECT_EQ(core->MlmeState, kMlmeAssociated);
  ticks(1);
  // Reconnect found no other access point: still associated, 20 more periods to go.
  EXPECT_EQ(core->MlmeState, kMlmeAssociated);
  EXPECT_EQ(core->Link.MissedBeacons, 20);
  EXPECT_TRUE(h.host->takeStatus().empty());  // the link is not dropped yet

  ticks(19);
  EXPECT_EQ(core->Link.MissedBeacons, 39);
  EXPECT_EQ(core->MlmeState, kMlmeAssociated);
  const std::size_t queued = queuedFrames().size();
  ticks(1);
  EXPECT_EQ(core->MlmeState, kMlmeIdle);
  EXPECT_EQ(core->LinkLost, 1);
  EXPECT_TRUE(core->LinkLossTickRunning);
  EXPECT_EQ(core->MediaDisconnected, 1);
  EXPECT_EQ(core->Link.MissedBeacons, 0);
  EXPECT_EQ(core->Link.AssociatedTicks, 0u);
  const auto status = h.host->takeStatus();
  ASSERT_EQ(status.size(), 1u);
  EXPECT_EQ(status[0].status, NDIS_STATUS_MEDIA_DISCONNECT);
  // The access point is told the station leaves (deauthentication, reason 8).
  const auto frames = queuedFrames();
  ASSERT_GT(frames.size(), queued);
  const auto& last = frames.back();
  EXPECT_EQ(last[2], 0xC0);
  EXPECT_EQ(0, std::memcmp(last.data() + kAddress1, kAp, 6));
  EXPECT_EQ(last[kChipHeaderBytes], 8);

  const std::uint32_t seconds = core->SecondsSinceLinkLoss;
  const std::uint32_t monitorTicks = LinkMonitorTicks();
  h.advance(milliseconds(3000));
  EXPECT_EQ(core->SecondsSinceLinkLoss - seconds, 3u);
  EXPECT_EQ(LinkMonitorTicks(), monitorTicks);  // leaving the network stopped the monitor
}

}  // namespace
}  // namespace zelnic::core
