// The medium in virtual time: who hears a frame and when, at what signal, what is
// acknowledged, and how frames are lost.
#include "sim/air/medium.h"

#include <gtest/gtest.h>

#include "sim/air/test_radio.h"

namespace simair {
namespace {

using dot11::FrameType;
using namespace std::chrono_literals;

const MacAddress kA{0x02, 0, 0, 0, 0, 0x0A}, kB{0x02, 0, 0, 0, 0, 0x0B}, kC{0x02, 0, 0, 0, 0, 0x0C};

// A 24-byte data frame to `to` (enough for the medium, which reads address 1 and 2 only).
AirFrame DataFrame(const MacAddress& from, const MacAddress& to, std::uint8_t channel, std::uint8_t tag = 0) {
  dot11::FrameWriter w;
  w.header(FrameType::Data, dot11::subtype::Data, dot11::flag::ToDs, to, from, to, tag);
  w.u8(tag);
  return {w.take(), channel, 22};
}

// A and B on channel 6, C on channel 11, default loss 60 dB.
struct ThreeRadios {
  ndis::Scheduler scheduler;
  Medium medium{scheduler, 60};
  TestRadio a{kA, 6}, b{kB, 6}, c{kC, 11};
  ThreeRadios() {
    medium.join(a);
    medium.join(b);
    medium.join(c);
  }
};

struct MediumFixture : ::testing::Test, ThreeRadios {};

TEST_F(MediumFixture, AFrameReachesTheOtherRadiosOnItsChannelAfterItsAirtime) {
  const Transmission sent = medium.transmit(a, DataFrame(kA, dot11::kBroadcast, 6));
  EXPECT_FALSE(sent.acknowledged);  // broadcast
  EXPECT_EQ(sent.airtimeMicros, Medium::AirtimeMicros(25, 22));
  scheduler.runFor(ndis::Micros(sent.airtimeMicros - 1));
  EXPECT_TRUE(b.heard.empty());
  scheduler.runFor(ndis::Micros(1));
  ASSERT_EQ(b.heard.size(), 1u);
  EXPECT_EQ(b.heard[0].reception.atMicros, sent.airtimeMicros);
  EXPECT_EQ(b.heard[0].frame.channel, 6);
  EXPECT_TRUE(a.heard.empty());  // not the sender
  EXPECT_TRUE(c.heard.empty());  // another channel
}

TEST_F(MediumFixture, ARadiosFramesArriveInTheOrderItSentThem) {
  // An association response at 1 Mbit/s, then at once a short data frame at 54 Mbit/s: the
  // radio sends one after the other, so the data frame cannot overtake the response.
  AirFrame response = DataFrame(kA, kB, 6, 1);
  response.rateHalfMbps = 2;
  AirFrame data = DataFrame(kA, kB, 6, 2);
  data.rateHalfMbps = 108;
  const Transmission first = medium.transmit(a, response);
  medium.transmit(a, data);
  scheduler.runFor(1s);
  ASSERT_EQ(b.heard.size(), 2u);
  EXPECT_EQ(b.heard[0].frame.bytes.back(), 1);
  EXPECT_EQ(b.heard[1].frame.bytes.back(), 2);
  EXPECT_EQ(b.heard[1].reception.atMicros, first.airtimeMicros);
}

TEST(MediumAirtime, FollowsThePhysicalLayerOfTheRate) {
  // Long-preamble DSSS: 192 us + bits / rate. 100 bytes + FCS = 832 bits.
  EXPECT_EQ(Medium::AirtimeMicros(100, 2), 192 + 832);
  EXPECT_EQ(Medium::AirtimeMicros(100, 22), 192 + 76);  // 832 / 11 = 75.6 -> 76
  // OFDM 54 Mbit/s: 216 bits per symbol; 16 + 832 + 6 = 854 bits -> 4 symbols.
  EXPECT_EQ(Medium::AirtimeMicros(100, 108), 20 + 16);
  EXPECT_EQ(Medium::AirtimeMicros(100, 12), 20 + 4 * 36);  // 24 bits per symbol, 35.6 -> 36
}

TEST_F(MediumFixture, TheReceivedSignalIsTransmitPowerMinusThePairsPathLoss) {
  TestRadio loud{{0x02, 0, 0, 0, 0, 0x0D}, 6, 20};
  medium.join(loud);
  medium.setPathLoss(kB, loud.address(), 72);  // either order names the pair
  medium.transmit(loud, DataFrame(loud.address(), dot11::kBroadcast, 6));
  medium.transmit(a, DataFrame(kA, dot11::kBroadcast, 6));
  scheduler.runFor(10ms);
  ASSERT_EQ(b.heard.size(), 2u);
  EXPECT_EQ(b.heard[0].reception.signalDbm, 20 - 72);
  EXPECT_EQ(b.heard[1].reception.signalDbm, 15 - 60);  // the default loss

  // A scripted change applies to the next frame.
  medium.setPathLoss(loud.address(), kB, 90);
  medium.transmit(loud, DataFrame(loud.address(), dot11::kBroadcast, 6));
  scheduler.runFor(10ms);
  EXPECT_EQ(b.heard.back().reception.signalDbm, 20 - 90);
}

TEST_F(MediumFixture, UnicastIsAcknowledgedOnlyByARadioThatIsThereToHearIt) {
  struct Case {
    const char* name;
    std::function<void(ThreeRadios&)> arrange;
    bool acknowledged;
  };
  const Case cases[] = {
      {"present", [](ThreeRadios&) {}, true},
      {"switched off", [](ThreeRadios& f) { f.b.on = false; }, false},
      {"on another channel", [](ThreeRadios& f) { f.b.channel_ = 1; }, false},
      {"left the air", [](ThreeRadios& f) { f.medium.leave(f.b); }, false},
      {"link loses everything", [](ThreeRadios& f) { f.medium.setLossRate(kA, kB, 1.0); }, false},
  };
  for (const Case& testCase : cases) {
    ThreeRadios f;
    testCase.arrange(f);
    EXPECT_EQ(f.medium.transmit(f.a, DataFrame(kA, kB, 6)).acknowledged, testCase.acknowledged) << testCase.name;
  }
  // A frame to an address no radio has.
  EXPECT_FALSE(medium.transmit(a, DataFrame(kA, {0x02, 9, 9, 9, 9, 9}, 6)).acknowledged);
}

TEST_F(MediumFixture, ARadioThatLeavesBeforeTheFrameArrivesDoesNotHearIt) {
  medium.transmit(a, DataFrame(kA, kB, 6));
  medium.leave(b);
  medium.join(b);  // a new join: still not a receiver of the frame sent before
  scheduler.runFor(10ms);
  EXPECT_TRUE(b.heard.empty());
}

TEST_F(MediumFixture, ASenderThatIsOffOrNotJoinedOrAnEmptyOrHugeFrameIsRefused) {
  TestRadio stranger{{0x02, 0, 0, 0, 0, 0x0E}, 6};
  EXPECT_EQ(medium.transmit(stranger, DataFrame(stranger.address(), kB, 6)).airtimeMicros, 0);
  a.on = false;
  EXPECT_FALSE(medium.transmit(a, DataFrame(kA, kB, 6)).acknowledged);
  a.on = true;
  EXPECT_EQ(medium.transmit(a, AirFrame{{}, 6, 2}).airtimeMicros, 0);
  EXPECT_EQ(medium.transmit(a, AirFrame{dot11::Bytes(Medium::kMaxFrameBytes + 1, 0x08), 6, 2}).airtimeMicros, 0);
  EXPECT_EQ(medium.counters().refused, 4u);
  scheduler.runFor(10ms);
  EXPECT_TRUE(b.heard.empty());
}

TEST_F(MediumFixture, ADropRuleTakesExactlyTheNextNMatchingFrames) {
  FrameMatch toB;
  toB.receiver = kB;
  toB.type = FrameType::Data;
  medium.dropNext(2, toB);
  EXPECT_FALSE(medium.transmit(a, DataFrame(kA, kB, 6, 1)).acknowledged);
  EXPECT_TRUE(medium.transmit(a, DataFrame(kA, kA, 6, 2)).acknowledged == false);  // not matching: to A itself
  EXPECT_FALSE(medium.transmit(a, DataFrame(kA, kB, 6, 3)).acknowledged);
  EXPECT_TRUE(medium.transmit(a, DataFrame(kA, kB, 6, 4)).acknowledged);
  EXPECT_EQ(medium.pendingDrops(), 0u);
  scheduler.runFor(10ms);
  // B heard the frame to A (tag 2) and the fourth; the dropped ones reached nobody.
  ASSERT_EQ(b.heard.size(), 2u);
  EXPECT_EQ(b.heard[0].frame.bytes.back(), 2);
  EXPECT_EQ(b.heard[1].frame.bytes.back(), 4);
  EXPECT_EQ(medium.counters().dropped, 2u);
}

TEST_F(MediumFixture, ADropRuleMatchesOnTypeSubtypeAndTransmitter) {
  FrameMatch beaconsOfC;
  beaconsOfC.type = FrameType::Management;
  beaconsOfC.subtype = dot11::subtype::Beacon;
  beaconsOfC.transmitter = kC;
  dot11::FrameWriter w;
  w.header(FrameType::Management, dot11::subtype::Beacon, 0, dot11::kBroadcast, kC, kC, 0);
  EXPECT_TRUE(beaconsOfC.matches({w.take(), 11, 2}));
  w.header(FrameType::Management, dot11::subtype::Beacon, 0, dot11::kBroadcast, kA, kA, 0);
  EXPECT_FALSE(beaconsOfC.matches({w.take(), 11, 2}));
  w.header(FrameType::Management, dot11::subtype::ProbeResponse, 0, kA, kC, kC, 0);
  EXPECT_FALSE(beaconsOfC.matches({w.take(), 11, 2}));
  EXPECT_FALSE(beaconsOfC.matches({{0x80}, 11, 2}));  // too short to say
}

// How many of 1,000 frames from A reach B on a link that loses 30%, and which ones.
std::vector<std::uint8_t> SurvivorsWithSeed(std::uint64_t seed) {
  ndis::Scheduler scheduler(ndis::Scheduler::Mode::Virtual, seed);
  Medium medium(scheduler);
  TestRadio a{kA, 6}, b{kB, 6};
  medium.join(a);
  medium.join(b);
  medium.setLossRate(kA, kB, 0.3);
  for (int i = 0; i < 1000; ++i) medium.transmit(a, DataFrame(kA, kB, 6, static_cast<std::uint8_t>(i)));
  scheduler.runFor(1s);
  std::vector<std::uint8_t> survivors;
  for (const Heard& heard : b.heard) survivors.push_back(heard.frame.bytes.back());
  return survivors;
}

TEST(MediumLoss, ASeededLossRateIsReproducibleAndNearItsRate) {
  const auto first = SurvivorsWithSeed(7), again = SurvivorsWithSeed(7), other = SurvivorsWithSeed(8);
  EXPECT_EQ(first, again);
  EXPECT_NE(first, other);
  EXPECT_NEAR(static_cast<double>(first.size()), 700.0, 60.0);
}

TEST_F(MediumFixture, LossIsPerLinkAndOneWay) {
  TestRadio d{{0x02, 0, 0, 0, 0, 0x0D}, 6};
  medium.join(d);
  medium.setLossRate(kA, kB, 1.0);
  medium.transmit(a, DataFrame(kA, dot11::kBroadcast, 6));
  medium.transmit(b, DataFrame(kB, dot11::kBroadcast, 6));
  scheduler.runFor(10ms);
  EXPECT_TRUE(b.heard.empty());
  EXPECT_EQ(d.heard.size(), 2u);
  EXPECT_EQ(a.heard.size(), 1u);  // B to A is a different link
  EXPECT_EQ(medium.counters().lost, 1u);
}

TEST(MediumLifetime, DeliveriesStillQueuedWhenTheMediumGoesAreCancelled) {
  ndis::Scheduler scheduler;
  TestRadio a{kA, 6}, b{kB, 6};
  {
    Medium medium(scheduler);
    medium.join(a);
    medium.join(b);
    medium.transmit(a, DataFrame(kA, kB, 6));
    EXPECT_EQ(scheduler.queuedCount(), 1u);
  }
  EXPECT_EQ(scheduler.queuedCount(), 0u);
  scheduler.runFor(10ms);
  EXPECT_TRUE(b.heard.empty());
}

}  // namespace
}  // namespace simair
