// The IAPP measurement report the station builds, as tshark reads it from the air: an
// LLC/SNAP frame with Cisco's OUI, not malformed.
#include <gtest/gtest.h>

#include <string>

#include "driver/core/ccx_report.h"
#include "driver/core/on_air/air_station.h"
#include "sim/air/pcap_recorder.h"

namespace zelnic::core::testing {
namespace {

TEST(CcxIappOnAir, TsharkReadsTheReportAsSnapWithCiscosOui) {
  const std::uint8_t bssid[6] = {0x02, 0x40, 0x96, 0, 0, 1};
  const std::uint8_t station[6] = {0x02, 0, 0, 0, 0, 0x42};
  CcxReportBody body;
  body.Start(bssid, station, 7);
  const CcxMeasurementRequest load{1, 0, 1, 6, 0, 200};
  ASSERT_TRUE(body.AddChannelLoad(load, 40));
  body.Finish();

  simair::AirFrame frame;
  frame.channel = 6;
  frame.bytes = {0x08, 0x01, 0, 0};  // data, ToDS
  frame.bytes.insert(frame.bytes.end(), bssid, bssid + 6);
  frame.bytes.insert(frame.bytes.end(), station, station + 6);
  frame.bytes.insert(frame.bytes.end(), bssid, bssid + 6);
  frame.bytes.insert(frame.bytes.end(), {0x10, 0});
  frame.bytes.insert(frame.bytes.end(), body.Bytes(), body.Bytes() + body.Length());
  const std::string path = simair::testing::TempPcapPath("zelnic_ccx_report");
  {
    std::string error;
    auto recorder = simair::PcapRecorder::Create(path, simair::PcapLinkType::Ieee80211, error);
    ASSERT_TRUE(recorder) << error;
    recorder->record(frame, -40, 0);
  }
  const auto rows = Dissect(path, "llc", {"llc.oui", "wlan.fc.ds", "wlan.bssid"});
  ASSERT_EQ(rows.size(), 1u);
  const auto f = SplitRow(rows[0]);
  ASSERT_EQ(f.size(), 4u) << rows[0];
  EXPECT_EQ(f[0], "");
  EXPECT_EQ(f[1], "16534");  // 00-40-96, as tshark prints the OUI
  EXPECT_EQ(f[2], "0x01");  // to the distribution system
  EXPECT_EQ(f[3], "02:40:96:00:00:01");
}

}  // namespace
}  // namespace zelnic::core::testing
