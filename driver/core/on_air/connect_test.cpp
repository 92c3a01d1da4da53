// The station connects to simulated access points the way NDIS drives it: the SSID set,
// the scan, the choice, authentication and association, the media connect; the frames on
// the air as tshark decodes them.
#include <gtest/gtest.h>

#include <cstring>

#include "driver/core/bss_table.h"
#include "driver/core/on_air/air_station.h"

namespace zelnic::core::testing {
namespace {

using namespace std::chrono_literals;

const std::string kOpenWorld =
    "ap open\n bssid 02:5a:4c:00:00:01\n ssid \"Zelnet Open\"\n channel 6\n signal -50\n";

class Connect : public AirStation {};

TEST_F(Connect, AnSsidSetScansAuthenticatesAssociatesAndIndicatesTheConnectOnce) {
  StartWorld(kOpenWorld, "connect_open");
  const auto result = SetSsid("Zelnet Open");
  EXPECT_EQ(result.status, NDIS_STATUS_SUCCESS);
  EXPECT_TRUE(result.pended);
  EXPECT_EQ(MediaEvents(), "C");  // nothing to leave before
  EXPECT_EQ(core->MlmeState, kMlmeAssociated);
  EXPECT_TRUE(Ap(0).associated(StationAddress()));
  EXPECT_EQ(core->AssociationId, Ap(0).associationId(StationAddress()));

  const auto bssid = Query(OID_802_11_BSSID, 6);
  ASSERT_EQ(bssid.status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(MacText({bssid.data[0], bssid.data[1], bssid.data[2], bssid.data[3], bssid.data[4], bssid.data[5]}),
            "02:5a:4c:00:00:01");

  // The association information: the request's fixed fields and elements, then the response's.
  const auto info = Query(OID_802_11_ASSOCIATION_INFORMATION, 600);
  ASSERT_EQ(info.status, NDIS_STATUS_SUCCESS);
  NDIS_802_11_ASSOCIATION_INFORMATION record;
  std::memcpy(&record, info.data.data(), sizeof record);
  EXPECT_EQ(record.Length, 40u);
  EXPECT_EQ(record.AvailableRequestFixedIEs, 3);
  EXPECT_EQ(record.RequestFixedIEs.ListenInterval, 10);
  EXPECT_EQ(record.OffsetRequestIEs, 40u);
  EXPECT_EQ(record.RequestIELength, 2u + 11 + 10 + 6);  // SSID, rates, extended rates
  EXPECT_EQ(info.data[40], 0);                          // the SSID element first
  EXPECT_EQ(record.ResponseFixedIEs.StatusCode, 0);
  EXPECT_EQ(record.ResponseFixedIEs.AssociationId & 0x3FFF, core->AssociationId);
  EXPECT_EQ(record.OffsetResponseIEs, 40u + record.RequestIELength);
  EXPECT_EQ(info.bytesDone, record.OffsetResponseIEs + record.ResponseIELength);

  // Stays associated: the access point's beacons keep the link.
  Advance(5s);
  EXPECT_EQ(core->MlmeState, kMlmeAssociated);
  EXPECT_EQ(MediaEvents(), "");

  const std::string station = MacText(StationAddress());
  const auto rows = Dissect(pcapPath, "wlan.fc.type == 0 && (wlan.sa == " + station + " || wlan.da == " + station + ")",
                            {"wlan.fc.type_subtype", "wlan.sa", "wlan.da", "wlan.bssid", "wlan.fixed.capabilities",
                             "wlan.fixed.listen_ival", "wlan.supported_rates", "wlan.extended_supported_rates",
                             "wlan.fixed.auth.alg", "wlan.fixed.auth_seq", "wlan.fixed.status_code", "wlan.ssid"});
  std::string sequence;
  for (const auto& row : rows) {
    const auto f = SplitRow(row);
    ASSERT_EQ(f.size(), 13u) << row;
    EXPECT_EQ(f[0], "") << "malformed: " << row;
    const int subtype = std::stoi(f[1], nullptr, 0);
    if (subtype == 4) continue;  // probe requests (scan and directed)
    // A late answer to one of the station's earlier probes may go out once it authenticates.
    if (subtype == 5 && sequence.find("11 ") != std::string::npos) continue;
    sequence += std::to_string(subtype) + " ";
    if (subtype == 0x0b && f[2] == station) {
      EXPECT_EQ(f[3], "02:5a:4c:00:00:01");
      EXPECT_EQ(f[9], "0");  // open system
      EXPECT_EQ(f[10], "0x0001");
    }
    if (subtype == 0) {
      EXPECT_EQ(f[2], station);
      EXPECT_EQ(f[4], "02:5a:4c:00:00:01");
      EXPECT_EQ(f[5], "0x0401");  // ESS, short slot
      EXPECT_EQ(f[6], "0x000a");  // listen interval 10
      // Basic where the access point marks them basic.
      EXPECT_EQ(f[7], "0x82,0x84,0x8b,0x96,0x0c,0x18,0x30,0x48");
      EXPECT_EQ(f[8], "0x12,0x24,0x60,0x6c");
    }
  }
  // Probe response, authentication both ways, association request and response.
  EXPECT_NE(sequence.find("5 11 11 0 1 "), std::string::npos) << sequence;
}

}  // namespace
}  // namespace zelnic::core::testing
