// Power saving against the simulated chip and a scripted access point on a recording air:
// the station sleeps once traffic stops, the chip dozes until the DTIM beacon, and a frame
// the access point buffered meanwhile arrives after the wake.
#include <gtest/gtest.h>

#include "driver/hal/firmware_commands.h"
#include "driver/hal/hal_adapter.h"
#include "driver/hal/testing/hal_harness.h"
#include "sim/chip/chip_registers.h"
#include "sim/chip/testing/recording_air.h"

namespace zelnic::hal {
namespace {

using testing::HalHarness;
using simchip::testing::RecordingAir;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

const MacAddress kBssid{0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
constexpr std::uint16_t kAid = 1;
constexpr std::uint8_t kDtimPeriod = 3;
constexpr ndis::Micros kBeaconInterval{102400};  // 100 TU

// The access point as far as power save needs it: beacons with a TIM, a buffer for the
// sleeping station, and the buffered frame on a PS-Poll.
struct AccessPoint {
  explicit AccessPoint(HalHarness& harness) : h(harness) {}
  HalHarness& h;
  std::uint8_t dtimCount = 0;
  bool stationSleeps = false;
  std::vector<Bytes> buffered;
  int nullFramesWithPm = 0;
  int polls = 0;

  Bytes beacon() const {
    Bytes f = {0x80, 0x00, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    f.insert(f.end(), kBssid.begin(), kBssid.end());
    f.insert(f.end(), kBssid.begin(), kBssid.end());
    f.insert(f.end(), {0, 0});
    f.insert(f.end(), 8, 0);                 // timestamp
    f.insert(f.end(), {100, 0, 0x01, 0x00});  // interval 100 TU, ESS
    f.insert(f.end(), {0, 4, 't', 'e', 's', 't'});
    const std::uint8_t bitmap = buffered.empty() ? 0 : 1 << kAid;
    f.insert(f.end(), {5, 4, dtimCount, kDtimPeriod, 0, bitmap});
    return f;
  }
  Bytes data() const {
    Bytes f = {0x08, 0x02, 0, 0};
    const auto station = h.chip.identity().mac;
    f.insert(f.end(), station.begin(), station.end());
    f.insert(f.end(), kBssid.begin(), kBssid.end());
    f.insert(f.end(), kBssid.begin(), kBssid.end());
    f.insert(f.end(), {0, 0, 0xAA, 0xAA, 0x03, 0, 0, 0, 0x08, 0x00, 0x45});
    return f;
  }
  void beaconTick() {
    RecordingAir::deliver(h.chip, beacon());
    dtimCount = dtimCount == 0 ? kDtimPeriod - 1 : dtimCount - 1;
    h.scheduler.after(kBeaconInterval, ndis::EventKind::Air, "beacon", [this] { beaconTick(); });
  }
  void heard(const simair::AirFrame& frame) {
    const Bytes& f = frame.bytes;
    if (f.size() >= 24 && f[0] == 0x48 && (f[1] & 0x10)) {
      ++nullFramesWithPm;
      stationSleeps = true;
    }
    if (f.size() >= 16 && f[0] == 0xA4 && !buffered.empty()) {
      ++polls;
      Bytes next = buffered.front();
      buffered.erase(buffered.begin());
      h.scheduler.after(1ms, ndis::EventKind::Air, "buffered frame",
                        [this, next] { RecordingAir::deliver(h.chip, next); });
    }
  }
};

TEST(PowerSave, SleepsWhenTrafficStopsAndGetsTheBufferedFrameAfterTheWake) {
  HalHarness h;
  ASSERT_EQ(h.start(), NDIS_STATUS_SUCCESS);
  h.scheduler.runFor(20ms);
  RecordingAir air;
  h.chip.attachAir(air);
  AccessPoint ap(h);
  air.onTransmit = [&](simair::Radio&, const simair::AirFrame& frame) { ap.heard(frame); };

  // The core's beacon handler and data path, as far as power saving hears of them.
  std::vector<ndis::Micros> dataAt;
  h.core.keepFrames = false;
  h.core.onReceive = [&](HalAdapter* hal, const ReceiveRecord& r) {
    const std::uint8_t* f = r.Frame;
    if (f[2] == 0x80) {
      const std::uint8_t* tim = f + 32 + 12 + 6;
      PowerSaveBeaconUpdate(hal, tim[2], 100, tim[3], (tim[7] >> kAid) & 1, 1);
    } else if ((f[2] & 0x0C) == 0x08) {
      dataAt.push_back(h.scheduler.now());
      if ((f[3] & 0x20) == 0) PowerSaveEvent(hal, 3);  // More Data clear
    }
  };
  h.run(DISPATCH_LEVEL, [&] {
    Bytes association(kBssid.begin(), kBssid.end());
    association.insert(association.end(), {kAid, 0});
    SendSetAssociation(h.hal(), association, nullptr);
    ResumeTransmission(h.hal());
    SetPowerMode(h.hal(), 2);
  });
  ap.beaconTick();

  // Traffic keeps the watch going; once it stops the station sleeps within two watches.
  RecordingAir::deliver(h.chip, ap.data());
  h.scheduler.runFor(2500ms);
  EXPECT_EQ(h.chip.sleepRequests(), 0u);
  ASSERT_TRUE(h.scheduler.runUntil([&] { return h.chip.sleepRequests() == 1; }, 2500ms));
  EXPECT_EQ(ap.nullFramesWithPm, 1);  // 0xC10 = 1: entering power save now
  EXPECT_TRUE(h.chip.dozing());
  EXPECT_NE(h.hal()->powerSaveFlags & kPsAsleep, 0u);
  EXPECT_NE(h.hal()->txPowerSaveFlags, 0u);
  // Without traffic it wakes for each DTIM beacon and sleeps again.
  h.scheduler.runFor(1000ms);
  const unsigned cycles = h.chip.sleepRequests();
  EXPECT_GE(cycles, 3u);
  EXPECT_EQ(ap.polls, 0);

  // The access point buffers a frame; the chip wakes for the DTIM beacon, polls, and the
  // frame arrives; the station wakes and later sleeps again (no new announcement).
  const ndis::Micros bufferedAt = h.scheduler.now();
  ap.buffered.push_back(ap.data());
  dataAt.clear();
  h.scheduler.runFor(1500ms);
  EXPECT_EQ(ap.polls, 1);
  ASSERT_EQ(dataAt.size(), 1u);
  EXPECT_GT(dataAt[0], bufferedAt);
  EXPECT_GT(h.chip.rings().heardWhileDozing, 0u);
  EXPECT_GT(h.chip.sleepRequests(), cycles);
  EXPECT_EQ(ap.nullFramesWithPm, 1);
  EXPECT_TRUE(h.chip.protocolFaults().empty());
  h.chip.detachAir();
}

TEST(PowerSave, ModeZeroNeverSleeps) {
  HalHarness h;
  ASSERT_EQ(h.start(), NDIS_STATUS_SUCCESS);
  h.scheduler.runFor(20ms);
  h.run(DISPATCH_LEVEL, [&] {
    PowerSaveBeaconUpdate(h.hal(), 2, 100, 3, false, 1);
    PowerSaveEvent(h.hal(), 3);
    PowerSaveEvent(h.hal(), 5);
  });
  h.scheduler.runFor(5s);
  EXPECT_EQ(h.chip.sleepRequests(), 0u);
  EXPECT_EQ(h.hal()->powerSaveFlags, 0u);
}

}  // namespace
}  // namespace zelnic::hal
