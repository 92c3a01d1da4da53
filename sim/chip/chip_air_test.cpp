// The chip on the air, with the host's side played by hand: its radio settings, receive
// filter and ring writes, the transmit walk, scanning, IBSS beaconing and dozing.
#include <gtest/gtest.h>

#include <cstring>

#include "sim/chip/chip_registers.h"
#include "sim/chip/sim_chip.h"
#include "sim/chip/testing/chip_harness.h"
#include "sim/chip/testing/recording_air.h"

namespace simchip {
namespace {

using testing::ChipHarness;
using testing::RecordingAir;
using testing::Record;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

const simair::MacAddress kBssid{0x02, 0, 0, 0, 0, 0x01};
const simair::MacAddress kOther{0x02, 0, 0, 0, 0, 0x02};
const simair::MacAddress kBroadcast{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

std::uint32_t U32(const std::uint8_t* at) {
  std::uint32_t v;
  std::memcpy(&v, at, 4);
  return v;
}
void Put32(std::uint8_t* at, std::uint32_t v) { std::memcpy(at, &v, 4); }

Bytes Frame(std::uint8_t fc0, std::uint8_t fc1, const simair::MacAddress& a1, const simair::MacAddress& a2,
            const simair::MacAddress& a3, Bytes body = {}) {
  Bytes f = {fc0, fc1, 0, 0};
  f.insert(f.end(), a1.begin(), a1.end());
  f.insert(f.end(), a2.begin(), a2.end());
  f.insert(f.end(), a3.begin(), a3.end());
  f.insert(f.end(), {0x20, 0x00});
  f.insert(f.end(), body.begin(), body.end());
  return f;
}

Bytes Beacon(const simair::MacAddress& bssid, std::uint8_t dtimCount = 0) {
  Bytes body(8, 0);
  body.insert(body.end(), {100, 0, 0x01, 0, 0, 2, 'z', 'n', 5, 4, dtimCount, 2, 0, 0});
  return Frame(0x80, 0, kBroadcast, bssid, bssid, body);
}

// The chip running with its radio on channel 6, on a recording air, with receive and
// transmit rings laid out in shared memory as the driver lays them out (fewer entries).
class ChipOnAir : public ::testing::Test {
protected:
  static constexpr std::uint32_t kEntries = 4;
  void SetUp() override {
    ASSERT_TRUE(h.download());
    auto radio = Record(0x001C, 14);
    radio[8] = 1, radio[12] = 1;
    command(radio);
    auto channel = Record(0x010A, 11);
    channel[10] = 6;
    command(channel);
    h.chip.attachAir(air);

    rx = *h.bus.memory().allocate(kEntries * (20 + 2032));
    std::memset(rx.virtualAddress, 0, rx.length);
    for (std::uint32_t i = 0; i < kEntries; ++i) {
      std::uint8_t* d = rx.virtualAddress + 20 * i;
      Put32(d + 8, rx.physical + kEntries * 20 + i * 2032);
      Put32(d + 12, rx.physical + 20 * ((i + 1) % kEntries));
    }
    h.write(0, kRxWritePointerRegister, rx.physical);
    tx = *h.bus.memory().allocate(kEntries * (2032 + 32));
    std::memset(tx.virtualAddress, 0, tx.length);
    for (std::uint32_t i = 0; i < kEntries; ++i) {
      std::uint8_t* d = txDescriptor(i);
      Put32(d + 8, tx.physical + i * 2032);
      Put32(d + 20, tx.physical + kEntries * 2032 + 32 * ((i + 1) % kEntries));
    }
    h.write(0, kTxRingRegister, tx.physical + kEntries * 2032);
  }
  void command(Bytes record) {
    h.command(std::move(record));
    h.scheduler.runFor(1ms);
    h.write(1, kRegCause, 0);
  }
  std::uint8_t* rxDescriptor(std::uint32_t i) { return rx.virtualAddress + 20 * i; }
  std::uint8_t* rxBuffer(std::uint32_t i) { return rx.virtualAddress + kEntries * 20 + i * 2032; }
  std::uint8_t* txDescriptor(std::uint32_t i) { return tx.virtualAddress + kEntries * 2032 + 32 * i; }
  // Hands `chipFrames` (chip layout) to the chip in descriptor i.
  void queueTransmit(std::uint32_t i, const Bytes& chipFrames, std::uint8_t rate = 0x16) {
    std::memcpy(tx.virtualAddress + i * 2032, chipFrames.data(), chipFrames.size());
    std::uint8_t* d = txDescriptor(i);
    d[4] = rate;
    const auto length = static_cast<std::uint16_t>(chipFrames.size());
    std::memcpy(d + 12, &length, 2);
    Put32(d, 0x80000001);
  }
  void associate(const simair::MacAddress& bssid, std::uint16_t aid) {
    auto record = Record(0x010D, 31);
    std::copy(bssid.begin(), bssid.end(), record.begin() + 8);
    record[14] = static_cast<std::uint8_t>(aid);
    command(record);
  }

  RecordingAir air;  // outlives the chip, which leaves it when it goes
  ChipHarness h;
  ndis::DmaSpace::Block rx, tx;
};

TEST_F(ChipOnAir, RadioTakesItsSettingsFromTheFirmware) {
  EXPECT_TRUE(h.chip.radioOn());
  EXPECT_EQ(h.chip.channel(), 6);
  EXPECT_EQ(h.chip.address(), h.chip.identity().mac);
  EXPECT_EQ(h.chip.transmitPowerDbm(), 15);
  auto mac = Record(0x0202, 14);
  std::copy(kOther.begin(), kOther.end(), mac.begin() + 8);
  command(mac);
  auto power = Record(0x001E, 32);
  power[8] = 1, power[10] = 10;
  command(power);
  EXPECT_EQ(h.chip.address(), kOther);
  EXPECT_EQ(h.chip.transmitPowerDbm(), 10);
  auto off = Record(0x001C, 14);
  command(off);
  EXPECT_FALSE(h.chip.radioOn());
  ASSERT_EQ(air.radios.size(), 1u);
  h.chip.detachAir();
  EXPECT_TRUE(air.radios.empty());
}

TEST_F(ChipOnAir, FilterAndReceiveDescriptors) {
  const auto own = h.chip.identity().mac;
  struct Case {
    const char* name;
    Bytes frame;
    bool associated;
    bool passes;
  };
  const Case cases[] = {
      {"data to the station", Frame(0x08, 0x02, own, kBssid, kBssid, {1, 2}), false, true},
      {"data to another station", Frame(0x08, 0x02, kOther, kBssid, kBssid), false, false},
      {"broadcast data", Frame(0x08, 0x02, kBroadcast, kBssid, kBssid), false, true},
      {"an ACK", {0xD4, 0, 0, 0, own[0], own[1], own[2], own[3], own[4], own[5]}, false, false},
      {"beacon of another BSS before association", Beacon(kOther), false, true},
      {"beacon of another BSS once associated", Beacon(kOther), true, false},
      {"beacon of the BSS once associated", Beacon(kBssid), true, true},
      {"data from another BSS once associated", Frame(0x08, 0x02, own, kOther, kOther), true, false},
  };
  std::uint32_t next = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    associate(c.associated ? kBssid : simair::MacAddress{}, 1);
    const unsigned before = h.chip.rings().framesReceived;
    RecordingAir::deliver(h.chip, c.frame, -50, 22);
    ASSERT_EQ(h.chip.rings().framesReceived - before, c.passes ? 1u : 0u);
    if (!c.passes) continue;
    const std::uint8_t* d = rxDescriptor(next);
    EXPECT_EQ(d[0], 0x80);
    EXPECT_EQ(d[1], 46);  // -50 dBm + 96
    EXPECT_EQ(d[7], 22);
    EXPECT_EQ(d[4] | d[5] << 8, static_cast<int>(32 + c.frame.size() - 24));
    EXPECT_EQ(Bytes(rxBuffer(next) + 2, rxBuffer(next) + 26), Bytes(c.frame.begin(), c.frame.begin() + 24));
    EXPECT_EQ(Bytes(rxBuffer(next) + 26, rxBuffer(next) + 32), Bytes(6, 0));  // no address 4
    EXPECT_NE(h.chip.cause() & kCauseRx, 0u);
    rxDescriptor(next)[0] = 0;  // the host takes it
    next = (next + 1) % kEntries;
  }
}

TEST_F(ChipOnAir, ReceiveRingFullDropsUntilTheResumeWord) {
  const auto own = h.chip.identity().mac;
  for (int i = 0; i < 6; ++i) RecordingAir::deliver(h.chip, Frame(0x08, 0x02, own, kBssid, kBssid), -120 + 160 * (i % 2));
  EXPECT_EQ(h.chip.rings().framesReceived, kEntries);
  EXPECT_EQ(h.chip.rings().receiveDropped, 2u);
  EXPECT_EQ(rxDescriptor(0)[1], 0);    // -120 dBm clamps to 0
  EXPECT_EQ(rxDescriptor(1)[1], 136);  // +40 dBm
  // The host frees a descriptor, but the chip waits for "resume".
  rxDescriptor(0)[0] = 0;
  RecordingAir::deliver(h.chip, Frame(0x08, 0x02, own, kBssid, kBssid));
  EXPECT_EQ(h.chip.rings().receiveDropped, 3u);
  h.write(0, kRxReadPointerRegister, kRxResume);
  EXPECT_EQ(h.read(0, kRxWritePointerRegister), rx.physical);  // the resume word is not an address
  RecordingAir::deliver(h.chip, Frame(0x08, 0x02, own, kBssid, kBssid));
  EXPECT_EQ(h.chip.rings().framesReceived, kEntries + 1);
}

TEST_F(ChipOnAir, TransmitWalkSendsEachFragmentAndWritesTheCompletion) {
  // Descriptor 0: two fragments, the second at the next multiple of 4; descriptor 1: one
  // unicast frame nobody acknowledges.
  Bytes chip(36, 0);
  chip[0] = 4, chip[2] = 0x08, chip[3] = 0x03;  // both DS bits: address 4 goes out
  std::copy(kBroadcast.begin(), kBroadcast.end(), chip.begin() + 6);
  for (int i = 0; i < 6; ++i) chip[26 + i] = static_cast<std::uint8_t>(0xA0 + i);
  chip.insert(chip.end(), chip.begin(), chip.end());
  chip[36] = 1, chip[39] = 0x00;
  chip.resize(36 + 33);
  queueTransmit(0, chip);
  Bytes unicast(40, 0);
  unicast[0] = 8, unicast[2] = 0x08;
  std::copy(kOther.begin(), kOther.end(), unicast.begin() + 6);
  queueTransmit(1, unicast);
  air.acknowledge = false;
  h.write(1, kRegDoorbell, kDoorbellTransmit);
  h.scheduler.runFor(1ms);
  ASSERT_EQ(air.sent.size(), 3u);
  EXPECT_EQ(air.sent[0].bytes.size(), 30u + 4);
  EXPECT_EQ(air.sent[0].bytes[24], 0xA0);
  EXPECT_EQ(air.sent[1].bytes.size(), 24u + 1);
  EXPECT_EQ(air.sent[0].rateHalfMbps, 0x16);
  EXPECT_EQ(air.sent[0].channel, 6);
  EXPECT_EQ(U32(txDescriptor(0)), 1u);  // sent (group frames need no acknowledgement)
  EXPECT_EQ(U32(txDescriptor(1)), 0u);  // retry limit
  EXPECT_NE(h.chip.cause() & kCauseTxDone, 0u);
  EXPECT_EQ(h.chip.counters().transmittedFragments, 3u);
  EXPECT_EQ(h.chip.counters().multicastTransmitted, 2u);
  EXPECT_EQ(h.chip.counters().failed, 1u);
  EXPECT_TRUE(h.chip.protocolFaults().empty());

  // A frame running past its descriptor, and a buffer outside shared memory, are the host's.
  Bytes overlong(40, 0);
  overlong[0] = 200;
  queueTransmit(2, overlong);
  queueTransmit(3, unicast);
  Put32(txDescriptor(3) + 8, 0x10);
  h.write(1, kRegDoorbell, kDoorbellTransmit);
  h.scheduler.runFor(1ms);
  EXPECT_EQ(h.chip.protocolFaults().size(), 2u);
  EXPECT_EQ(U32(txDescriptor(2)), 0u);
  EXPECT_EQ(U32(txDescriptor(3)), 0u);
}

TEST_F(ChipOnAir, ScanIgnoresTheBssidFilterAndReturnsToTheHomeChannel) {
  associate(kBssid, 1);
  command(Record(0x0107, 12));
  auto channel = Record(0x010A, 11);
  channel[10] = 11;
  command(channel);
  EXPECT_EQ(h.chip.channel(), 11);
  RecordingAir::deliver(h.chip, Beacon(kOther));
  EXPECT_EQ(h.chip.rings().framesReceived, 1u);
  command(Record(0x0108, 15));
  EXPECT_EQ(h.chip.channel(), 6);
  RecordingAir::deliver(h.chip, Beacon(kOther));
  EXPECT_EQ(h.chip.rings().framesReceived, 1u);
}

TEST_F(ChipOnAir, AnIbssStartLeavesTheAccessPointsBssidFilter) {
  associate(kBssid, 1);
  RecordingAir::deliver(h.chip, Beacon(kOther));
  EXPECT_EQ(h.chip.rings().framesReceived, 0u);
  Bytes beacon = Beacon(kOther);
  auto record = Record(0x0100, static_cast<std::uint16_t>(10 + beacon.size()));
  record[8] = static_cast<std::uint8_t>(beacon.size());
  std::copy(beacon.begin(), beacon.end(), record.begin() + 10);
  command(record);
  RecordingAir::deliver(h.chip, Beacon(kOther));
  RecordingAir::deliver(h.chip, Beacon(kBssid));  // another BSSID of the IBSS: heard too (a merge)
  EXPECT_EQ(h.chip.rings().framesReceived, 2u);
}

TEST_F(ChipOnAir, IbssBeaconsFromTheTemplateAndAnswersProbes) {
  const auto own = h.chip.identity().mac;
  Bytes beacon = Beacon(kBssid);
  std::copy(own.begin(), own.end(), beacon.begin() + 10);
  auto record = Record(0x0100, static_cast<std::uint16_t>(10 + beacon.size()));
  record[8] = static_cast<std::uint8_t>(beacon.size());
  std::copy(beacon.begin(), beacon.end(), record.begin() + 10);
  command(record);
  h.scheduler.runFor(310ms);  // at 0, 102.4, 204.8 and 307.2 ms
  EXPECT_EQ(h.chip.rings().beaconsSent, 4u);
  ASSERT_GE(air.sent.size(), 2u);
  EXPECT_EQ(air.sent[1].bytes.size(), beacon.size());
  EXPECT_NE(Bytes(air.sent[1].bytes.begin() + 24, air.sent[1].bytes.begin() + 32), Bytes(8, 0));  // timestamp

  air.sent.clear();
  RecordingAir::deliver(h.chip, Frame(0x40, 0, kBroadcast, kOther, kBroadcast, {0, 2, 'z', 'n'}));
  RecordingAir::deliver(h.chip, Frame(0x40, 0, kBroadcast, kOther, kBroadcast, {0, 2, 'x', 'x'}));
  ASSERT_EQ(air.sent.size(), 1u);
  EXPECT_EQ(air.sent[0].bytes[0], 0x50);
  EXPECT_EQ(simair::MacAddress(std::to_array<std::uint8_t, 6>({air.sent[0].bytes[4], air.sent[0].bytes[5],
                                                               air.sent[0].bytes[6], air.sent[0].bytes[7],
                                                               air.sent[0].bytes[8], air.sent[0].bytes[9]})),
            kOther);

  command(Record(0x010E, 8));  // infrastructure again: no more beacons
  const unsigned sent = h.chip.rings().beaconsSent;
  h.scheduler.runFor(500ms);
  EXPECT_EQ(h.chip.rings().beaconsSent, sent);
}

TEST_F(ChipOnAir, DozesUntilTheDtimBeaconThenRaisesThePowerSaveCause) {
  associate(kBssid, 1);
  RecordingAir::deliver(h.chip, Beacon(kBssid, 1));  // the DTIM beacon is the next one
  const auto beaconAt = h.scheduler.now();
  h.write(1, kRegAddress, 1);
  h.write(1, kRegDoorbell, kDoorbellSleep);
  ASSERT_EQ(air.sent.size(), 1u);  // entering power save: a null frame with the PM bit
  EXPECT_EQ(air.sent[0].bytes[0], 0x48);
  EXPECT_EQ(air.sent[0].bytes[1], 0x11);
  EXPECT_TRUE(h.chip.dozing());
  EXPECT_FALSE(h.chip.radioOn());
  h.scheduler.runUntil(beaconAt + 102400us - 2001us);
  EXPECT_TRUE(h.chip.dozing());
  h.scheduler.runUntil(beaconAt + 102400us);
  EXPECT_FALSE(h.chip.dozing());
  EXPECT_EQ(h.chip.cause() & kCausePowerSave, 0u);  // awake, waiting for the beacon
  RecordingAir::deliver(h.chip, Beacon(kBssid, 0));
  EXPECT_NE(h.chip.cause() & kCausePowerSave, 0u);

  // Without a beacon the chip tells the host anyway; a transmit doorbell ends a doze at once.
  h.write(1, kRegCause, 0);
  h.write(1, kRegAddress, 0);
  h.write(1, kRegDoorbell, kDoorbellSleep);
  EXPECT_EQ(air.sent.size(), 1u);  // 0: no announcement
  h.scheduler.runFor(250ms);
  EXPECT_NE(h.chip.cause() & kCausePowerSave, 0u);
  h.write(1, kRegDoorbell, kDoorbellSleep);
  EXPECT_TRUE(h.chip.dozing());
  h.write(1, kRegDoorbell, kDoorbellTransmit);
  EXPECT_FALSE(h.chip.dozing());
}

// The access point buffers while the station's last frame to it had the power-management
// bit: the chip's polls keep it, More Data asks for the next frame, and a frame of the host
// without the bit must be taken back by a null frame before the next doze.
TEST_F(ChipOnAir, PollsInPowerSaveUntilNoMoreDataAndAnnouncesTheNextDozeWhenTheHostSentAwake) {
  const auto own = h.chip.identity().mac;
  associate(kBssid, 1);
  h.write(1, kRegAddress, 1);
  h.write(1, kRegDoorbell, kDoorbellSleep);
  h.scheduler.runFor(110ms);  // no beacon known: awake after 100 ms
  ASSERT_FALSE(h.chip.dozing());
  Bytes beacon = Beacon(kBssid);
  beacon.back() = 0x02;  // the TIM names association id 1
  RecordingAir::deliver(h.chip, beacon);
  RecordingAir::deliver(h.chip, Frame(0x08, 0x22, own, kBssid, kOther, {1}));  // From DS, More Data
  RecordingAir::deliver(h.chip, Frame(0x08, 0x02, own, kBssid, kOther, {2}));  // the last one
  RecordingAir::deliver(h.chip, beacon);  // awake already: the beacon alone asks for a poll
  ASSERT_EQ(air.sent.size(), 4u);  // the null frame, then a poll for each frame and the beacon
  for (std::size_t i = 1; i < 4; ++i) {
    EXPECT_EQ(air.sent[i].bytes[0], 0xA4);
    EXPECT_EQ(air.sent[i].bytes[1], 0x10);  // power management: the station stays in power save
    EXPECT_EQ(air.sent[i].bytes[2] | air.sent[i].bytes[3] << 8, 0xC001);
  }

  Bytes awake(32, 0);  // the host's null frame to the DS without the power-management bit
  awake[2] = 0x48, awake[3] = 0x01;
  std::copy(kBssid.begin(), kBssid.end(), awake.begin() + 6);
  std::copy(own.begin(), own.end(), awake.begin() + 12);
  std::copy(kBssid.begin(), kBssid.end(), awake.begin() + 18);
  queueTransmit(0, awake);
  h.write(1, kRegDoorbell, kDoorbellTransmit);
  h.scheduler.runFor(1ms);
  ASSERT_EQ(air.sent.size(), 5u);
  h.write(1, kRegAddress, 0);
  h.write(1, kRegDoorbell, kDoorbellSleep);
  ASSERT_EQ(air.sent.size(), 6u);
  EXPECT_EQ(air.sent[5].bytes[0], 0x48);
  EXPECT_EQ(air.sent[5].bytes[1], 0x11);
  h.write(1, kRegDoorbell, kDoorbellTransmit);  // awake again; dozing anew needs no frame
  h.write(1, kRegDoorbell, kDoorbellSleep);
  EXPECT_EQ(air.sent.size(), 6u);
}

}  // namespace
}  // namespace simchip
