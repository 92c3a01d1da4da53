#include "hosts/zelnicd/e2e/enterprise/enterprise_fixture.h"

#include <signal.h>
#include <stdlib.h>

#include <cstring>
#include <vector>

#include "dcf1/src/crypto/crypto_test_support.h"
#include "hosts/adapterctl/zelcon_records.h"
#include "platform/cryptoapi/store_location.h"

namespace zelcon::testing {

void EnterpriseEndToEnd::SetUp() {
  setenv("ZELCON_PENTREL_LIBRARY", PENTREL_LIBRARY, 1);
  std::string whyNot;
  space_ = peers::NetworkNamespace::Create(&whyNot);
  // CI runs these as root: without a namespace the test fails, it never passes unseen.
  if (!space_) GTEST_FAIL() << "needs root for a network namespace: " << whyNot;
  StartDemoRadius(radius_, *space_, dir_);
  if (HasFatalFailure()) return;
  FillUserStores(dir_, clientKeyInStore_);
  if (HasFatalFailure()) return;

  zelnicd_.emplace(std::vector<std::string>{"--world", world_, "--pcap", pcap_}, space_->fd());
  ASSERT_TRUE(zelnicd_->waitForDevice()) << zelnicd_->output();
  connection_.emplace(window_, zelnicd_->registryRoot(), zelnicd_->devicePath());
}

void EnterpriseEndToEnd::TearDown() {
  if (HasFailure() && radius_) radius_->PrintLogEnd();
  unsetenv(capi::kCertRootVariable);
}

void EnterpriseEndToEnd::ConnectsAndCarriesProtectedData(const char* profileName, size_t connections,
                                                         const uint8_t* expectedBssid) {
  PROFILE_ENTRY profile = DemoProfile(profileName);
  ASSERT_TRUE(connection_->apply(profile));
  WipeProfile(profile);
  ASSERT_TRUE(window_.waitFor(kEventAssociated)) << zelnicd_->output();
  ASSERT_TRUE(window_.waitForCount(ZELCON_NOTIFY_PORT_AUTHORIZED, connections))
      << ::testing::PrintToString(window_.texts()) << zelnicd_->output();
  std::string station;
  const std::vector<uint8_t> payload =
      KeyedThenSendsAndStops(KSSTK_LINK_STATUS_AUTHENTICATED, 2 * connections, expectedBssid, station);
  if (payload.empty()) return;

  const std::string pmk = LastPmkHex(radius_->Log());
  ASSERT_EQ(pmk.size(), 64u) << "no MS-MPPE-Recv-Key in the server's log";
  const auto rows = DissectStationData(
      pcap_, station, "-o wlan.enable_decryption:TRUE -o 'uat:80211_keys:\"wpa-psk\",\"" + pmk + "\"'");
  ASSERT_EQ(rows.size(), 1u) << ::testing::PrintToString(rows);
  ASSERT_EQ(rows[0].size(), 3u);
  EXPECT_EQ(rows[0][0], "") << "malformed";
  EXPECT_EQ(rows[0][1], "1");
  EXPECT_EQ(rows[0][2], crypto_test::Hex(payload));
}

std::vector<uint8_t> EnterpriseEndToEnd::KeyedThenSendsAndStops(uint32_t status, size_t keys, const uint8_t* expectedBssid,
                                                               std::string& station) {
  const SupplicantHost* host = connection_->adapter().Supplicant();
  EXPECT_NE(host, nullptr);
  if (host == nullptr) return {};
  EXPECT_EQ(host->LinkStatus(), status);
  EXPECT_GE(host->KeysInstalled(), keys);  // pairwise and group keys
  if (expectedBssid != nullptr) {
    uint8_t bssid[6] = {};
    EXPECT_EQ(connection_->adapter().QueryBssid(&connection_->adapter(), bssid, sizeof bssid), 0);
    EXPECT_EQ(0, std::memcmp(bssid, expectedBssid, 6)) << "not on the access point expected";
  }
  const std::vector<uint8_t> payload = connection_->sendDataFrame();
  EXPECT_FALSE(payload.empty()) << zelnicd_->output();
  station = connection_->stationText();
  connection_->close();
  EXPECT_EQ(zelnicd_->stop(SIGTERM), 0) << zelnicd_->output();  // the capture is complete
  return payload;
}

void EnterpriseEndToEnd::FailsWith(PROFILE_ENTRY profile, const char* text) {
  ASSERT_TRUE(connection_->apply(profile));
  WipeProfile(profile);
  ASSERT_TRUE(window_.waitForText(text)) << ::testing::PrintToString(window_.texts()) << zelnicd_->output();
  EXPECT_FALSE(window_.authorized());
  EXPECT_EQ(connection_->adapter().Supplicant()->KeysInstalled(), 0u);
}

}  // namespace zelcon::testing
