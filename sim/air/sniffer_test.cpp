// A sniffer records what it hears on its channel, with the signal it received.
#include "sim/air/sniffer.h"
#include "sim/air/testing/tshark_dissect.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "sim/air/medium.h"
#include "sim/air/test_radio.h"

namespace simair {
namespace {

using namespace std::chrono_literals;

TEST(Sniffer, RecordsTheFramesOfItsChannelAtTheSignalItReceives) {
  const std::string path = simair::testing::TempPcapPath("sniffer_test");
  std::string error;
  auto recorder = PcapRecorder::Create(path, PcapLinkType::Radiotap, error);
  ASSERT_TRUE(recorder) << error;
  ndis::Scheduler scheduler;
  Medium medium(scheduler, 60);
  const MacAddress sniffing{0x02, 0x99, 0, 0, 0, 1};
  TestRadio on6({0x02, 0, 0, 0, 0, 6}, 6, 20), on1({0x02, 0, 0, 0, 0, 1}, 1);
  medium.join(on6);
  medium.join(on1);
  {
    Sniffer sniffer(medium, sniffing, 6, *recorder);
    medium.setPathLoss(on6.address(), sniffing, 90);
    medium.transmit(on6, {{0x80, 0, 0xFF}, 6, 2});
    medium.transmit(on1, {{0x80, 0, 0xFF}, 1, 2});
    scheduler.runFor(5ms);
    EXPECT_EQ(sniffer.framesHeard(), 1u);
    sniffer.setChannel(1);
    medium.transmit(on1, {{0x80, 0, 0xFF}, 1, 2});
    scheduler.runFor(5ms);
    EXPECT_EQ(sniffer.framesHeard(), 2u);
  }
  medium.transmit(on6, {{0x80, 0, 0xFF}, 6, 2});  // the sniffer left with its destruction
  scheduler.runFor(5ms);
  EXPECT_EQ(recorder->framesRecorded(), 2u);
  recorder.reset();
  std::ifstream file(path, std::ios::binary);
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  ASSERT_GE(bytes.size(), 24u + 16 + 15);
  EXPECT_EQ(static_cast<std::int8_t>(bytes[24 + 16 + 14]), 20 - 90);  // the first frame's signal
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace simair
