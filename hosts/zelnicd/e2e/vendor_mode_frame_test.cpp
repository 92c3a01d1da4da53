// The maker's vendor-mode frame through the real processes: zelnicd joins the Auto Link
// world's "Zelnet Home" by itself, whose access point sends its vendor mode after the
// association. The driver answers on the air (tshark reads the frame and the answer from the
// pcap) and hands the mode to the firmware (the chip's step log shows the command).
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "hosts/zelnicd/e2e/zelnicd_process.h"
#include "sim/air/testing/tshark_dissect.h"

namespace {

using simair::testing::Dissect;
using simair::testing::SplitRow;

constexpr const char* kModeCommand = "zelnicd: chip: command SET_MODE answered: flags 0x05, mode 0x00";

TEST(VendorModeFrame, IsAnsweredOnTheAirAndItsModeReachesTheChip) {
  const std::string pcap = simair::testing::TempPcapPath("zelnicd_vendor_mode");
  zelnicd::testing::ZelnicdProcess zelnicd(
      {"--world", ZELNICD_WORLDS_DIR "/autolink.world", "--pcap", pcap, "--connect", "Zelnet Home"});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (zelnicd.output().find(kModeCommand) == std::string::npos && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_NE(zelnicd.output().find(kModeCommand), std::string::npos) << zelnicd.output();
  ASSERT_EQ(zelnicd.stop(SIGTERM), 0) << zelnicd.output();

  // The access point's frame (FromDS) and the station's answer (ToDS, duration 258, to the
  // BSSID from the station, 03 02 00 after the maker's SNAP header).
  const auto rows = Dissect(pcap, "llc.oui == 0x025a9c && llc.pid == 0x0000",
                            {"wlan.fc.ds", "wlan.duration", "wlan.ra", "wlan.ta", "wlan.da", "data.data"});
  ASSERT_EQ(rows.size(), 2u) << ::testing::PrintToString(rows);
  // Fields: malformed (empty), DS bits, duration, receiver, transmitter, destination, data.
  const std::vector<std::string> request = SplitRow(rows[0]);
  ASSERT_EQ(request.size(), 7u) << rows[0];
  EXPECT_EQ(request[0], "") << "malformed: " << rows[0];
  EXPECT_EQ(request[1], "0x02");
  EXPECT_EQ(request[6], "030105");
  EXPECT_EQ(SplitRow(rows[1]), (std::vector<std::string>{"", "0x01", "258", "02:5a:9c:00:00:01", "00:1e:4d:2d:17:01",
                                                         "02:5a:9c:00:00:01", "030200"}));
  std::remove(pcap.c_str());
}

}  // namespace
