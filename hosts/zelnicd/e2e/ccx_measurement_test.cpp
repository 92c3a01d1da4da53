// CCX radio measurement in the real processes: zelnicd joins the open CCX network of
// ccx.world, whose access point asks the station for a beacon measurement on channel 6 and
// the channel load of channel 1 a second later. The station measures on the simulated chip
// and answers; zelnicd prints what the access point read, and tshark reads the request and
// the report from the capture (as Cisco IAPP over SNAP, and byte by byte).
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "dcf1/src/crypto/crypto_test_support.h"
#include "hosts/zelnicd/e2e/zelnicd_process.h"
#include "sim/air/testing/tshark_dissect.h"

namespace {

using crypto_test::FromHex;
using simair::testing::Dissect;
using simair::testing::SplitRow;
using zelnicd::testing::ZelnicdProcess;

constexpr char kLobby[] = "02:5a:4c:00:00:21";
constexpr char kNeighbour[] = "02:5a:4c:00:00:22";
constexpr char kStation[] = "00:1e:4d:2d:17:01";
constexpr std::uint8_t kChannelLoad = 1, kBeacon = 3;

std::string MacAt(const std::vector<std::uint8_t>& b, std::size_t at) {
  char text[18];
  std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", b[at], b[at + 1], b[at + 2], b[at + 3], b[at + 4],
                b[at + 5]);
  return text;
}

std::uint16_t Big16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]);
}
std::uint16_t Little16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

// An IAPP element (request 38, report 39) as the bytes after the SNAP header carry it:
// u16 ID and length (little-endian), token, mode, type, channel, one byte, u16 duration, the rest.
struct IappElement {
  std::uint16_t id = 0;
  std::uint8_t type = 0;
  std::uint8_t channel = 0;
  std::uint8_t fourth = 0;  // the scan mode of a request
  std::uint16_t duration = 0;
  std::vector<std::uint8_t> fields;
};

// The elements from `at` to the end; false when one runs past it.
bool ReadElements(const std::vector<std::uint8_t>& b, std::size_t at, std::vector<IappElement>& out) {
  while (at + 4 <= b.size()) {
    IappElement e;
    e.id = Little16(b, at);
    const std::size_t length = Little16(b, at + 2);
    if (length < 8 || at + 4 + length > b.size()) return false;
    e.type = b[at + 7];
    e.channel = b[at + 8];
    e.fourth = b[at + 9];
    e.duration = Little16(b, at + 10);
    const auto from = b.begin() + static_cast<std::ptrdiff_t>(at);
    e.fields.assign(from + 12, from + static_cast<std::ptrdiff_t>(4 + length));
    out.push_back(std::move(e));
    at += 4 + length;
  }
  return at == b.size();
}

TEST(CcxMeasurementThroughZelnicd, TheAccessPointAsksForBeaconsAndChannelLoadAndReadsTheReport) {
  const std::string pcap = ::testing::TempDir() + "/zelnicd_ccx_" + std::to_string(::getpid()) + ".pcap";
  ZelnicdProcess zelnicd({"--world", ZELNICD_WORLDS_DIR "/ccx.world", "--pcap", pcap});
  ASSERT_TRUE(zelnicd.waitForOutput("zelnicd: air: lobby: measurement report from")) << zelnicd.output();
  ASSERT_EQ(zelnicd.stop(SIGTERM), 0) << zelnicd.output();  // the capture is complete
  const std::string output = zelnicd.output();
  EXPECT_NE(output.find("zelnicd: air: lobby: measurement request to 00:1e:4d:2d:17:01, dialog 1: beacon on channel 6 "
                        "active for 50 TU; channel load on channel 1 for 200 TU"),
            std::string::npos)
      << output;
  EXPECT_EQ(output.find("(malformed)"), std::string::npos) << output;  // the access point's own check

  // tshark takes both for Cisco's IAPP: the request from the distribution system with both
  // addresses zero, the report to it from the station to the access point.
  const auto iapp = Dissect(pcap, "wlccp", {"wlan.fc.ds", "wlan.sa", "wlccp.length", "wlccp.dstmac", "wlccp.srcmac"});
  ASSERT_EQ(iapp.size(), 2u) << ::testing::PrintToString(iapp);
  EXPECT_EQ(iapp[0], "|0x02|" + std::string(kLobby) + "|44|00:00:00:00:00:00|00:00:00:00:00:00");
  const auto report = SplitRow(iapp[1]);
  ASSERT_EQ(report.size(), 6u) << iapp[1];
  EXPECT_EQ(report[0], "") << "malformed";
  EXPECT_EQ(report[1], "0x01");
  EXPECT_EQ(report[2], kStation);
  EXPECT_EQ(report[4], kLobby);
  EXPECT_EQ(report[5], kStation);

  // The bytes after SNAP: IAPP length, type and subtype, addresses, dialog token, elements.
  const auto raw = Dissect(pcap, "llc.oui == 0x004096", {"data.data"}, "--disable-protocol wlccp");
  ASSERT_EQ(raw.size(), 2u) << ::testing::PrintToString(raw);
  const auto request = FromHex(SplitRow(raw[0]).back());
  const auto answer = FromHex(SplitRow(raw[1]).back());
  ASSERT_GE(request.size(), 20u);
  ASSERT_GE(answer.size(), 18u);
  EXPECT_EQ(Big16(request, 0), request.size());
  EXPECT_EQ(request[2], 0x32);
  EXPECT_EQ(request[3], 0x01);
  EXPECT_EQ(Big16(answer, 0), answer.size());
  EXPECT_EQ(answer[2], 0x32);
  EXPECT_EQ(answer[3], 0x81);
  EXPECT_EQ(Big16(answer, 16), Big16(request, 16)) << "the report answers another dialog";
  EXPECT_EQ(std::to_string(Big16(answer, 0)), report[3]);  // tshark's length is the IAPP length

  std::vector<IappElement> asked, answered;
  ASSERT_TRUE(ReadElements(request, 20, asked));
  ASSERT_TRUE(ReadElements(answer, 18, answered));
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].type, kBeacon);
  EXPECT_EQ(asked[0].channel, 6);
  EXPECT_EQ(asked[0].fourth, 1);  // active
  EXPECT_EQ(asked[1].type, kChannelLoad);
  EXPECT_EQ(asked[1].duration, 200);

  // One beacon element per access point heard on channel 6 (the neighbour and cckm-south),
  // then the channel load of channel 1.
  std::vector<std::string> heard;
  bool load = false;
  for (const IappElement& e : answered) {
    EXPECT_EQ(e.id, 39);
    if (e.type == kBeacon) {
      EXPECT_EQ(e.channel, 6);
      ASSERT_GE(e.fields.size(), 8u);
      heard.push_back(MacAt(e.fields, 2));
    } else if (e.type == kChannelLoad) {
      load = true;
      EXPECT_EQ(e.channel, 1);
      EXPECT_EQ(e.duration, 200);
      ASSERT_EQ(e.fields.size(), 1u);
      EXPECT_GT(e.fields[0], 0) << "the lobby's own beacons keep channel 1 busy";
    } else {
      ADD_FAILURE() << "measurement type " << static_cast<int>(e.type);
    }
  }
  EXPECT_TRUE(load);
  std::sort(heard.begin(), heard.end());
  EXPECT_EQ(heard, (std::vector<std::string>{kNeighbour, "02:5a:4c:00:00:24"}));
  std::remove(pcap.c_str());
}

}  // namespace
