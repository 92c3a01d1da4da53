// The pcap recorder's bytes: file header, record header and the radiotap fields.
#include "sim/air/pcap_recorder.h"
#include "sim/air/testing/tshark_dissect.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include <fstream>
#include <iterator>

namespace simair {
namespace {

std::vector<std::uint8_t> Record(PcapLinkType type, const AirFrame& frame, int signal, std::int64_t at,
                                 std::int64_t origin = 0) {
  // A name of this process's own: ctest runs the cases of several test programs at once.
  const std::string path = simair::testing::TempPcapPath("recorder_test");
  std::string error;
  {
    auto recorder = PcapRecorder::Create(path, type, error);
    EXPECT_TRUE(recorder) << error;
    if (!recorder) return {};
    recorder->setOriginMicros(origin);
    recorder->record(frame, signal, at);
    EXPECT_EQ(recorder->framesRecorded(), 1u);
  }
  std::ifstream file(path, std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::filesystem::remove(path);
  return bytes;
}

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

TEST(PcapRecorder, RadiotapCarriesRateChannelAndSignal) {
  struct Case {
    std::uint8_t channel;
    std::uint16_t rate;
    int signal;
    std::uint16_t frequency, flags;
    std::uint8_t signalByte;
  };
  const Case cases[] = {
      {1, 2, -48, 2412, 0x00A0, 0xD0},     // CCK
      {11, 108, -55, 2462, 0x00C0, 0xC9},  // OFDM
      {14, 22, -200, 2484, 0x00A0, 0x80},  // below -128 dBm: clamped
  };
  for (const Case& c : cases) {
    const auto bytes = Record(PcapLinkType::Radiotap, {{0x80, 0x00, 0x01}, c.channel, c.rate}, c.signal, 3'000'007, 1'000'000);
    ASSERT_EQ(bytes.size(), 24u + 16 + 15 + 3);
    EXPECT_EQ(U32(bytes, 0), 0xA1B2C3D4u);
    EXPECT_EQ(U32(bytes, 20), 127u);
    EXPECT_EQ(U32(bytes, 24), 4u);   // seconds: origin 1 s + 3 s
    EXPECT_EQ(U32(bytes, 28), 7u);   // microseconds
    EXPECT_EQ(U32(bytes, 32), 18u);  // captured
    EXPECT_EQ(U32(bytes, 36), 18u);  // on the air
    const std::vector<std::uint8_t> radiotap(bytes.begin() + 40, bytes.begin() + 55);
    const std::vector<std::uint8_t> expected{0, 0, 15, 0, 0x2E, 0, 0, 0, 0, static_cast<std::uint8_t>(c.rate),
                                             static_cast<std::uint8_t>(c.frequency), static_cast<std::uint8_t>(c.frequency >> 8),
                                             static_cast<std::uint8_t>(c.flags), 0, c.signalByte};
    EXPECT_EQ(radiotap, expected) << static_cast<int>(c.channel);
    EXPECT_EQ(bytes[55], 0x80);
  }
}

TEST(PcapRecorder, Bare80211FramesHaveNoRadiotapAndHugeFramesAreCutToTheSnapLength) {
  auto bytes = Record(PcapLinkType::Ieee80211, {{0x80, 0x00, 0x01}, 6, 2}, -40, 5);
  ASSERT_EQ(bytes.size(), 24u + 16 + 3);
  EXPECT_EQ(U32(bytes, 20), 105u);
  EXPECT_EQ(bytes[40], 0x80);
  bytes = Record(PcapLinkType::Ieee80211, {std::vector<std::uint8_t>(70000, 0x08), 6, 2}, -40, 5);
  ASSERT_EQ(bytes.size(), 24u + 16 + 65535);
  EXPECT_EQ(U32(bytes, 32), 65535u);
  EXPECT_EQ(U32(bytes, 36), 70000u);
}

TEST(PcapRecorder, AFileThatCannotBeCreatedSaysWhy) {
  std::string error;
  EXPECT_EQ(PcapRecorder::Create("/nonexistent/dir/x.pcap", PcapLinkType::Radiotap, error), nullptr);
  EXPECT_EQ(error, "cannot create /nonexistent/dir/x.pcap: No such file or directory");
}

TEST(PcapRecorder, AWriteThatFailsStopsTheRecordingAndSaysSo) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  std::string error;
  auto recorder = PcapRecorder::Create("/dev/full", PcapLinkType::Radiotap, error);
  // The header may sit in the stream's buffer; the first flushed record fails at the latest.
  if (recorder) recorder->record({{0x80, 0, 1}, 1, 2}, -40, 0);
  EXPECT_TRUE(recorder == nullptr || !recorder->healthy());
  if (recorder) {
    EXPECT_EQ(recorder->framesRecorded(), 0u);
  }
}

}  // namespace
}  // namespace simair
