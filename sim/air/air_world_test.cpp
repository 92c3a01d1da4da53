// A world brought to life in virtual time: its access points beacon at the station with the
// signals of the file, scripted changes apply at their times, and the recorder gets the air.
#include "sim/air/air_world.h"
#include "sim/air/testing/tshark_dissect.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "sim/air/pcap_recorder.h"
#include "sim/air/test_radio.h"

namespace simair {
namespace {

using namespace std::chrono_literals;

const char* kWorld =
    "ap near\n bssid 02:00:00:00:00:01\n ssid near\n channel 6\n signal -40\n"
    "ap far\n bssid 02:00:00:00:00:02\n ssid far\n channel 6\n power 20\n signal -80\n"
    "ap other\n bssid 02:00:00:00:00:03\n ssid other\n channel 1\n"
    "at 1s near signal -75\n"
    "at 2s far off\n"
    "at 3s far on\n";

int LastSignalFrom(const TestRadio& station, const MacAddress& bssid) {
  for (auto heard = station.heard.rbegin(); heard != station.heard.rend(); ++heard)
    if (dot11::FrameView(heard->frame.bytes).address2() == bssid) return heard->reception.signalDbm;
  return 1;  // never heard
}

std::size_t CountFrom(const TestRadio& station, const MacAddress& bssid) {
  std::size_t count = 0;
  for (const Heard& heard : station.heard) count += dot11::FrameView(heard.frame.bytes).address2() == bssid;
  return count;
}

TEST(AirWorld, AccessPointsBeaconWithTheirSignalsAndTheScriptChangesThem) {
  std::string error;
  const auto world = ParseWorld(kWorld, error);
  ASSERT_TRUE(world) << error;
  ndis::Scheduler scheduler;
  const std::string path = simair::testing::TempPcapPath("air_world");
  auto recorder = PcapRecorder::Create(path, PcapLinkType::Radiotap, error);
  ASSERT_TRUE(recorder) << error;
  AirWorld air(scheduler, *world, recorder.get());
  TestRadio station(world->station, 6);
  air.medium().join(station);
  const MacAddress near{2, 0, 0, 0, 0, 1}, far{2, 0, 0, 0, 0, 2};

  scheduler.runFor(999ms);
  EXPECT_EQ(LastSignalFrom(station, near), -40);
  EXPECT_EQ(LastSignalFrom(station, far), -80);
  EXPECT_EQ(CountFrom(station, near), 9u);  // 102.4 ms apart
  EXPECT_EQ(CountFrom(station, {2, 0, 0, 0, 0, 3}), 0u);  // another channel

  scheduler.runFor(1s);
  EXPECT_EQ(LastSignalFrom(station, near), -75);
  const std::size_t beforeOff = CountFrom(station, far);
  scheduler.runFor(1s);
  EXPECT_LE(CountFrom(station, far), beforeOff + 1);  // off at 2 s
  scheduler.runFor(1s);
  EXPECT_GE(CountFrom(station, far), beforeOff + 9);  // on again at 3 s
  air.medium().leave(station);
  // Three access points for 4 s (one of them off for 1 s), each beacon recorded once.
  EXPECT_EQ(recorder->framesRecorded(), air.medium().counters().transmitted);
  EXPECT_GT(recorder->framesRecorded(), 100u);
  std::filesystem::remove(path);
}

TEST(AirWorld, ScriptedChangesStillQueuedGoWithTheWorld) {
  std::string error;
  const auto world = ParseWorld(kWorld, error);
  ASSERT_TRUE(world) << error;
  ndis::Scheduler scheduler;
  { AirWorld air(scheduler, *world, nullptr); }
  EXPECT_EQ(scheduler.queuedCount(), 0u);
}

}  // namespace
}  // namespace simair
