// The transmit and receive rings against the simulated chip on a recording air: the
// transmit service's limits, fragments and completion, the receive round with its RSSI
// conversion, the full ring with every spare up in NDIS, and values the device supplies.
#include <gtest/gtest.h>

#include <cstring>

#include "driver/hal/hal_adapter.h"
#include "driver/hal/hal_registers.h"
#include "driver/hal/testing/hal_harness.h"
#include "sim/chip/chip_registers.h"
#include "sim/chip/testing/recording_air.h"

namespace zelnic::hal {
namespace {

using testing::HalHarness;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

const MacAddress kPeer{0x02, 0xAA, 0xBB, 0xCC, 0xDD, 0x01};
const MacAddress kBroadcast{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// One frame in chip layout: body length, frame control, duration, addresses 1-3, sequence,
// address 4, body.
Bytes ChipFrame(std::uint8_t fc0, std::uint8_t flags, const MacAddress& a1, std::size_t body,
                std::uint8_t fill = 0x5A) {
  Bytes f(32 + body, fill);
  f[0] = static_cast<std::uint8_t>(body);
  f[1] = static_cast<std::uint8_t>(body >> 8);
  f[2] = fc0;
  f[3] = flags;
  f[4] = f[5] = 0;
  std::copy(a1.begin(), a1.end(), f.begin() + 6);
  for (int i = 0; i < 6; ++i) f[12 + i] = static_cast<std::uint8_t>(0x10 + i), f[18 + i] = static_cast<std::uint8_t>(0x20 + i);
  f[24] = 0x10, f[25] = 0x00;  // sequence 1
  for (int i = 0; i < 6; ++i) f[26 + i] = static_cast<std::uint8_t>(0x30 + i);
  return f;
}

// A data frame on the air (from the DS) to `to`.
Bytes AirData(const MacAddress& to, std::size_t body) {
  Bytes f(24 + body, 0x77);
  f[0] = 0x08, f[1] = 0x02, f[2] = f[3] = 0;
  std::copy(to.begin(), to.end(), f.begin() + 4);
  std::copy(kPeer.begin(), kPeer.end(), f.begin() + 10);
  std::copy(kPeer.begin(), kPeer.end(), f.begin() + 16);
  f[22] = f[23] = 0;
  return f;
}

class RingsTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(h.start(), NDIS_STATUS_SUCCESS);
    h.scheduler.runFor(20ms);
    h.chip.attachAir(air);
    h.run(DISPATCH_LEVEL, [&] { ResumeTransmission(h.hal()); });
  }
  void TearDown() override {
    EXPECT_TRUE(h.chip.protocolFaults().empty());
    h.chip.detachAir();
  }
  void kick() {
    h.run(DISPATCH_LEVEL, [&] { RunTransmitService(h.hal()); });
  }
  std::uint32_t inRing() {
    std::uint32_t frames = 0;
    h.run(DISPATCH_LEVEL, [&] { frames = FramesInTransmitRing(h.hal()); });
    return frames;
  }
  void queue(std::size_t count, std::size_t body) {
    for (std::size_t i = 0; i < count; ++i)
      h.core.managementQueue.push_back(ChipFrame(0x08, 0x01, kBroadcast, body, static_cast<std::uint8_t>(i)));
  }

  HalHarness h;
  simchip::testing::RecordingAir air;
};

TEST_F(RingsTest, TransmitServiceKeepsToItsLimitsThenEverythingLeaves) {
  struct Case {
    const char* name;
    std::size_t body;
    std::uint32_t firstPass;  // frames after one pass
    std::uint32_t held;       // frames in the ring once the service gives up
  };
  // 10 a pass; the ring holds at most 63 frames, or stops taking once above 20,000 bytes.
  for (const Case c : {Case{"small frames", 68, 10, 63}, Case{"2,000-byte frames", 1968, 10, 11}}) {
    SCOPED_TRACE(c.name);
    h.knobs().holdTransmit = true;
    air.sent.clear();
    queue(80, c.body);
    kick();
    EXPECT_EQ(inRing(), c.firstPass);
    EXPECT_NE(h.hal()->pendingCauses & kCauseTxDone, 0u);  // the rest is for later
    h.scheduler.runFor(50ms);                              // retry passes
    EXPECT_EQ(inRing(), c.held);
    EXPECT_TRUE(air.sent.empty());

    h.knobs().holdTransmit = false;
    kick();  // the chip still owns descriptors: the doorbell again
    h.scheduler.runFor(200ms);
    EXPECT_EQ(inRing(), 0u);
    EXPECT_TRUE(h.core.managementQueue.empty());
    ASSERT_EQ(air.sent.size(), 80u);
    for (std::size_t i = 0; i < air.sent.size(); ++i) {
      ASSERT_EQ(air.sent[i].bytes.size(), 24 + c.body);
      EXPECT_EQ(air.sent[i].bytes[24], static_cast<std::uint8_t>(i)) << "in order";
      EXPECT_EQ(air.sent[i].rateHalfMbps, 2);
    }
  }
  EXPECT_EQ(h.hal()->tx.success, 160u);
  EXPECT_EQ(h.hal()->txRateHistory[0], 10000u);  // 1 Mbit/s in 100 bit/s
}

TEST_F(RingsTest, FragmentsOfOneBufferLeaveAsTheirOwnFramesAndCompletionFollowsTheAcknowledgement) {
  // Two fragments back to back, the second 4-byte aligned; the first has both DS bits.
  Bytes buffer = ChipFrame(0x08, 0x03 | 0x04, kPeer, 5, 0x11);
  buffer.resize(40);  // 37 rounded up to a multiple of 4
  const Bytes second = ChipFrame(0x08, 0x01, kPeer, 3, 0x22);
  buffer.insert(buffer.end(), second.begin(), second.end());
  h.core.managementQueue.push_back(buffer);
  h.run(DISPATCH_LEVEL, [&] { SetTransmitRate(h.hal(), 0x16); });
  kick();
  h.scheduler.runFor(5ms);
  ASSERT_EQ(air.sent.size(), 2u);
  const Bytes& first = air.sent[0].bytes;
  ASSERT_EQ(first.size(), 30u + 5);  // address 4 only with both DS bits
  EXPECT_EQ(Bytes(first.begin() + 24, first.begin() + 30), (Bytes{0x30, 0x31, 0x32, 0x33, 0x34, 0x35}));
  EXPECT_EQ(first[30], 0x11);
  EXPECT_EQ(air.sent[1].bytes.size(), 24u + 3);
  EXPECT_EQ(air.sent[1].rateHalfMbps, 0x16);
  EXPECT_EQ(h.hal()->tx.success, 1u);
  EXPECT_EQ(h.hal()->txRateHistory[0], 0x16u * 5000);

  // Unacknowledged: the retry limit's completion (0) counts no success.
  air.acknowledge = false;
  h.core.managementQueue.push_back(ChipFrame(0x08, 0x01, kPeer, 10));
  kick();
  h.scheduler.runFor(5ms);
  EXPECT_EQ(h.hal()->tx.success, 1u);
  EXPECT_EQ(inRing(), 0u);
  EXPECT_EQ(h.chip.counters().failed, 1u);
}

TEST_F(RingsTest, ProtectedFramesGoThroughTheCipherAndARefusedOneNeverLeaves) {
  h.core.managementQueue.push_back(ChipFrame(0x08, 0x41, kPeer, 20));
  kick();
  h.scheduler.runFor(5ms);
  EXPECT_EQ(h.core.encryptCalls, 1);
  EXPECT_EQ(air.sent.size(), 1u);

  h.core.encryptResult = 3;  // no usable key
  h.core.managementQueue.push_back(ChipFrame(0x08, 0x41, kPeer, 20));
  kick();
  h.scheduler.runFor(5ms);
  EXPECT_EQ(h.core.encryptCalls, 2);
  EXPECT_EQ(air.sent.size(), 1u) << "a frame the cipher refused went out in the clear";

  h.core.sendFlags = kSendNoCipher;
  h.core.managementQueue.push_back(ChipFrame(0x08, 0x41, kPeer, 20));
  kick();
  h.scheduler.runFor(5ms);
  EXPECT_EQ(h.core.encryptCalls, 2);
  EXPECT_EQ(air.sent.size(), 2u);
}

TEST_F(RingsTest, ReceivedFramesComeUpWithTheirSignalInDbm) {
  struct Case {
    int dbm;
    LONG reported;
    std::size_t bin;
  };
  // RSSI = dBm + 96 clamped to 0..255; an RSSI of 0 counts as 5 (-91 dBm).
  for (const Case c : {Case{-40, -40, 2}, Case{-80, -80, 0}, Case{-120, -91, 0}, Case{-30, -30, 3}, Case{-60, -60, 1}}) {
    SCOPED_TRACE(c.dbm);
    h.core.received.clear();
    simchip::testing::RecordingAir::deliver(h.chip, AirData(h.chip.identity().mac, 100), c.dbm, 22);
    h.scheduler.runFor(1ms);
    ASSERT_EQ(h.core.received.size(), 1u);
    EXPECT_EQ(h.core.received[0].signalDbm, c.reported);
    EXPECT_EQ(h.core.received[0].rateCode, 22);
    EXPECT_EQ(h.core.received[0].frame.size(), 32u + 100);
    EXPECT_EQ(h.hal()->rx.lastSignalDbm, c.reported);
  }
  EXPECT_EQ(h.hal()->rx.rssiBins[0], 2u);
  EXPECT_EQ(h.hal()->rx.rssiBins[1], 1u);
  EXPECT_EQ(h.hal()->rx.rssiBins[2], 1u);
  EXPECT_EQ(h.hal()->rx.rssiBins[3], 1u);
  // Not for this station: the chip's filter keeps it out of the ring.
  simchip::testing::RecordingAir::deliver(h.chip, AirData(kPeer, 10));
  h.scheduler.runFor(1ms);
  EXPECT_EQ(h.core.received.size(), 1u);
}

TEST_F(RingsTest, ABurstOf25IsHandledAs20ThenTheRest) {
  h.chip.writeRegister(1, simchip::kRegMask, ndis::AccessWidth::U32, 0);  // no interrupt: rounds by hand
  for (int i = 0; i < 25; ++i) simchip::testing::RecordingAir::deliver(h.chip, AirData(kBroadcast, 50));
  const unsigned resumes = h.chip.receiveResumes();
  h.run(DISPATCH_LEVEL, [&] { HalReceiveComplete(h.hal()); });
  EXPECT_EQ(h.core.received.size(), 20u);
  EXPECT_NE(h.hal()->pendingCauses & kCauseRx, 0u);  // the deferred handler loops
  EXPECT_EQ(h.chip.receiveResumes(), resumes + 1);
  h.hal()->pendingCauses = 0;
  h.run(DISPATCH_LEVEL, [&] { HalReceiveComplete(h.hal()); });
  EXPECT_EQ(h.core.received.size(), 25u);
  EXPECT_EQ(h.hal()->pendingCauses & kCauseRx, 0u);
}

TEST_F(RingsTest, WithEverySpareUpInNdisFramesAreDroppedAndCountedThenReceivingResumes) {
  h.host->setReturnPolicy(ndis::ReturnPolicy::manual());
  h.core.indicate = true;
  for (int i = 0; i < 64; ++i) simchip::testing::RecordingAir::deliver(h.chip, AirData(kBroadcast, 40));
  h.scheduler.runFor(5ms);
  EXPECT_EQ(h.core.receivedCount, 64u);
  EXPECT_EQ(h.host->heldPackets(), 64u);
  EXPECT_EQ(ReceiveRecordsOutstanding(h.hal()), 64u);

  // The ring fills with the swapped-in buffers; no spare is left to swap, so the driver drops
  // and the ring keeps running; the chip drops what finds the ring full.
  for (int i = 0; i < 70; ++i) simchip::testing::RecordingAir::deliver(h.chip, AirData(kBroadcast, 40));
  h.scheduler.runFor(5ms);
  EXPECT_EQ(h.core.receivedCount, 64u);
  EXPECT_GE(h.hal()->rx.dropped, 64u);
  EXPECT_GT(h.chip.rings().receiveDropped, 0u);

  h.host->returnHeldPackets();
  h.scheduler.runFor(1ms);
  EXPECT_EQ(ReceiveRecordsOutstanding(h.hal()), 0u);
  h.core.indicate = false;
  simchip::testing::RecordingAir::deliver(h.chip, AirData(kBroadcast, 40));
  h.scheduler.runFor(1ms);
  EXPECT_EQ(h.core.receivedCount, 65u);
}

TEST_F(RingsTest, DescriptorLengthsTheBufferCannotHoldAreDropped) {
  h.chip.writeRegister(1, simchip::kRegMask, ndis::AccessWidth::U32, 0);
  struct Case {
    std::uint16_t length;
    bool delivered;
  };
  for (const Case c : {Case{0, false}, Case{31, false}, Case{32, true}, Case{2032, true}, Case{2033, false},
                       Case{0xFFFF, false}}) {
    SCOPED_TRACE(c.length);
    HalAdapter* hal = h.hal();
    std::uint8_t* d = hal->rxRing.virtualAddress + hal->rx.readIndex * kRxDescriptorBytes;
    std::memcpy(hal->rx.inRing[hal->rx.readIndex]->Buffer, ChipFrame(0x08, 0x02, kBroadcast, 0).data(), 32);
    d[0] = 0x80, d[1] = 50;
    std::memcpy(d + 4, &c.length, 2);
    const std::size_t before = h.core.receivedCount;
    const std::uint32_t dropped = hal->rx.dropped;
    h.run(DISPATCH_LEVEL, [&] { HalReceiveComplete(hal); });
    EXPECT_EQ(h.core.receivedCount - before, c.delivered ? 1u : 0u);
    EXPECT_EQ(hal->rx.dropped - dropped, c.delivered ? 0u : 1u);
    if (c.delivered) {
      EXPECT_EQ(h.core.received.back().frame.size(), c.length);
    }
  }
}

TEST_F(RingsTest, LowSignalIsIndicatedAfterFiveSmoothedValuesAtOrBelowTheThreshold) {
  h.hal()->signalThreshold = -70;
  for (int i = 0; i < 4; ++i) simchip::testing::RecordingAir::deliver(h.chip, AirData(kBroadcast, 10), -80);
  h.scheduler.runFor(1ms);
  EXPECT_TRUE(h.host->takeStatus().empty());
  simchip::testing::RecordingAir::deliver(h.chip, AirData(kBroadcast, 10), -80);
  h.scheduler.runFor(1ms);
  const auto status = h.host->takeStatus();
  ASSERT_EQ(status.size(), 1u);
  EXPECT_EQ(status[0].status, NDIS_STATUS_MEDIA_SPECIFIC_INDICATION);
  EXPECT_EQ(h.hal()->signal.smoothed, -80);
  EXPECT_EQ(h.hal()->signal.average, -80);
  // A stronger frame resets the count; the smoothed value moves an eighth of the way.
  simchip::testing::RecordingAir::deliver(h.chip, AirData(kBroadcast, 10), -30);
  h.scheduler.runFor(1ms);
  EXPECT_EQ(h.hal()->signal.average, (-80 * 5 - 30) / 6);
  EXPECT_EQ(h.hal()->signal.smoothed, ((-80 * 5 - 30) / 6 + 7 * -80) >> 3);
}

TEST(SleepTimer, NeverBelowOneMillisecond) {
  struct Case {
    std::uint32_t sleepTime;
    std::uint32_t ms;
  };
  for (const Case c : {Case{0, 1}, Case{19, 1}, Case{20, 1}, Case{21, 5}, Case{100, 400}, Case{900, 4400}})
    EXPECT_EQ(SleepTimerMs(c.sleepTime), c.ms) << c.sleepTime;
}

}  // namespace
}  // namespace zelnic::hal
