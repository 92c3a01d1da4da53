// A table of connections that differ only in their data: the world around the station, how
// it is configured, and the SSID NDIS sets. Each ends with the set completed once, with the
// station associated to the expected access point or not at all.
#include <gtest/gtest.h>

#include <cstring>

#include "driver/core/on_air/air_station.h"
#include "driver/core/station_state.h"

namespace zelnic::core::testing {
namespace {

using namespace std::chrono_literals;

struct ConnectCase {
  const char* name;
  std::string world;
  std::string ssid;
  ULONG authMode = 0;   // OID_802_11_AUTHENTICATION_MODE
  ULONG wepStatus = 1;  // encryption status: 0 WEP, 6 AES, 1 none
  NDIS_STATUS status;   // the set's completion
  int ap;               // index of the access point joined; -1: none
  const char* desiredAfter = nullptr;  // the desired SSID afterwards, when it changes
};

std::string Ap(const std::string& name, const std::string& bssid, const std::string& ssid, const std::string& more) {
  return "ap " + name + "\n bssid " + bssid + "\n ssid \"" + ssid + "\"\n channel 6\n" + more;
}

const std::string kWep = " security wep\n wep-key 1 0102030405\n";
const std::string kWpa2 = " security wpa2-psk\n passphrase \"zelnet passphrase\"\n";

const ConnectCase kCases[] = {
    {"\"ANY\" (any case) takes the strongest network and its SSID",
     Ap("weak", "02:00:00:00:00:01", "Weak", " signal -70\n") + Ap("strong", "02:00:00:00:00:02", "Strong", " signal -40\n"),
     "aNy", 0, 1, NDIS_STATUS_SUCCESS, 1, "Strong"},
    {"privacy decides before signal: the weaker WPA2 network of the SSID",
     Ap("open", "02:00:00:00:00:01", "Zelnet", " signal -40\n") + Ap("wpa2", "02:00:00:00:00:02", "Zelnet", kWpa2 + " signal -65\n"),
     "Zelnet", 7, 6, NDIS_STATUS_SUCCESS, 1},
    {"shared key with the configured WEP key",
     Ap("wep", "02:00:00:00:00:01", "Workshop", kWep + " auth shared\n"), "Workshop", 1, 0, NDIS_STATUS_SUCCESS, 0},
    {"shared key refused with status 13, the automatic switch falls back to open system",
     Ap("wep", "02:00:00:00:00:01", "Workshop", kWep), "Workshop", 2, 0, NDIS_STATUS_SUCCESS, 0},
    {"shared key refused with status 13 and no fallback: the connect fails",
     Ap("wep", "02:00:00:00:00:01", "Workshop", kWep), "Workshop", 1, 0, NDIS_STATUS_FAILURE, -1},
    {"an access point that answers every association with status 17",
     Ap("full", "02:00:00:00:00:01", "Full", " assoc-status 17\n"), "Full", 0, 1, NDIS_STATUS_FAILURE, -1},
    {"a silent access point: two attempts, then the failure",
     Ap("silent", "02:00:00:00:00:01", "Silent", " silent-auth\n"), "Silent", 0, 1, NDIS_STATUS_FAILURE, -1},
    {"a WEP station does not join an open network",
     Ap("open", "02:00:00:00:00:01", "Open", ""), "Open", 0, 0, NDIS_STATUS_FAILURE, -1},
    {"no network of the SSID after the scan", Ap("other", "02:00:00:00:00:01", "Other", ""), "Nowhere", 0, 1,
     NDIS_STATUS_FAILURE, -1},
};

class ConnectCases : public AirStation, public ::testing::WithParamInterface<ConnectCase> {};

TEST_P(ConnectCases, OneCompletionAndTheExpectedNetwork) {
  const ConnectCase& c = GetParam();
  StartWorld(c.world);
  h.run([&] {
    core->Config.wepStatus = c.wepStatus;
    WepKeyRecord& key = core->Config.wepKeys[0];
    key = WepKeyRecord{};
    key.keyIndex = 0x80000000u;  // the transmit key, index 0
    key.keyLength = 5;
    std::memcpy(key.key, "\x01\x02\x03\x04\x05", 5);
  });
  ASSERT_EQ(SetWord(OID_802_11_AUTHENTICATION_MODE, c.authMode).status, NDIS_STATUS_SUCCESS);
  const auto result = SetSsid(c.ssid);
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.status, c.status);
  Advance(1s);  // nothing more comes of it
  if (c.ap < 0) {
    EXPECT_NE(core->MlmeState, kMlmeAssociated);
    for (std::size_t i = 0; i < world->size(); ++i) EXPECT_FALSE(Ap(i).associated(StationAddress()));
    EXPECT_EQ(MediaEvents().find('C'), std::string::npos);
  } else {
    EXPECT_EQ(core->MlmeState, kMlmeAssociated);
    EXPECT_TRUE(Ap(static_cast<std::size_t>(c.ap)).associated(StationAddress()));
    EXPECT_EQ(core->Bssid, Ap(static_cast<std::size_t>(c.ap)).config().bssid);
    EXPECT_EQ(MediaEvents(), "C");
  }
  if (c.desiredAfter != nullptr) {
    const auto ssid = Query(OID_802_11_SSID, 36);
    ASSERT_EQ(ssid.status, NDIS_STATUS_SUCCESS);
    ULONG length = 0;
    std::memcpy(&length, ssid.data.data(), 4);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(ssid.data.data()) + 4, length), c.desiredAfter);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, ConnectCases, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

}  // namespace
}  // namespace zelnic::core::testing
