// The whole driver on the simulated medium: an access point's beacons cross the air, the
// chip's filter and receive ring and the chip layer's round into the station core, with their
// signal; and frames the core builds leave through the transmit ring onto the air.
#include <gtest/gtest.h>

#include "driver/core/bss_table.h"
#include "driver/core/core_adapter.h"
#include "driver/core/frame_builders.h"
#include "driver/entry/testing/driver_harness.h"
#include "driver/hal/firmware_commands.h"
#include "sim/air/access_point.h"
#include "sim/air/medium.h"

namespace zelnic::hal {
namespace {

using namespace std::chrono_literals;

TEST(AirPath, BeaconsReachTheCoreAndBuiltFramesReachTheAir) {
  zelnic::testing::DriverHarness h;
  simair::Medium medium(h.scheduler, 60);
  simair::AccessPointConfig config;
  config.bssid = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
  config.ssid = "zelnet";
  config.channel = 1;
  simair::AccessPoint ap(h.scheduler, medium, config);
  struct Leave {
    simchip::SimChip& chip;
    simair::AccessPoint& ap;
    ~Leave() {
      chip.detachAir();  // before the medium goes
      ap.stop();
    }
  } leave{h.chip, ap};

  ASSERT_EQ(h.start(), NDIS_STATUS_SUCCESS);
  h.chip.attachAir(medium);
  ap.start();
  h.run([&] { SendSetChannel(h.hal(), 1, nullptr); });
  h.advance(1s);

  CoreAdapter* core = h.core();
  EXPECT_GE(core->Counters.Received, 9u);  // a beacon every 102.4 ms
  EXPECT_EQ(core->LastRssi, 15 - 60);      // the access point's power less the path loss
  EXPECT_GE(h.hal()->rx.rssiBins[2], 9u);  // RSSI 51
  EXPECT_GE(core::FindBss(core, config.bssid.data()), 0);

  // A probe request the core builds goes out through the ring; the access point answers it.
  const auto before = ap.counters().probeResponses;
  h.run([&] { core::SendProbeRequest(core); });
  h.advance(10ms);
  EXPECT_EQ(ap.counters().probeResponses, before + 1);
  EXPECT_EQ(h.hal()->tx.frames, 0u);  // completed and reclaimed
  EXPECT_EQ(h.hal()->tx.success, 1u);
}

}  // namespace
}  // namespace zelnic::hal
