#include "hosts/zelnicd/e2e/enterprise/enterprise_fixture.h"

#include <openssl/evp.h>
#include <openssl/x509.h>
#include <signal.h>
#include <stdlib.h>

#include <array>
#include <cstring>
#include <regex>
#include <vector>

#include "dcf1/src/crypto/crypto_test_support.h"
#include "hosts/adapterctl/zelcon_records.h"
#include "hosts/demo/demo_profiles.h"
#include "platform/cryptoapi/cert_import.h"
#include "platform/cryptoapi/store_location.h"
#include "sim/air/world_file.h"
#include "tests/peers/pem_text.h"
#include "tests/peers/radius_certificates.h"

namespace zelcon::testing {
namespace {

std::array<uint8_t, 20> Sha1Of(const capi::testing::TestCertificate& certificate) {
  std::array<uint8_t, 20> hash{};
  unsigned int length = 0;
  X509_digest(certificate.x509.get(), EVP_sha1(), hash.data(), &length);
  return hash;
}

}  // namespace

PROFILE_ENTRY DemoProfile(const char* name) {
  for (const PROFILE_ENTRY& p : demo::DemoProfiles(Sha1Of(peers::RadiusPki::Get().client)))
    if (FieldText(p.name) == name) return p;
  ADD_FAILURE() << "no demo profile " << name;
  return MakeDefaultProfile();
}

std::string DemoRadiusSecret() {
  std::string error;
  const auto world = simair::LoadWorldFile(kDemoWorld, error);
  if (!world) return "";
  for (const auto& ap : world->accessPoints)
    if (ap.config.security == simair::Security::Wpa2Enterprise) return ap.config.radius.secret.reveal();
  return "";
}

std::string LastPmkHex(const std::string& log) {
  static const std::regex key("MS-MPPE-Recv-Key = 0x([0-9a-fA-F]{64})");
  std::string last;
  for (auto it = std::sregex_iterator(log.begin(), log.end(), key); it != std::sregex_iterator(); ++it)
    last = (*it)[1];
  return last;
}

void EnterpriseEndToEnd::SetUp() {
  setenv("ZELCON_PENTREL_LIBRARY", PENTREL_LIBRARY, 1);
  std::string whyNot;
  space_ = peers::NetworkNamespace::Create(&whyNot);
  // CI runs these as root: without a namespace the test fails, it never passes unseen.
  if (!space_) GTEST_FAIL() << "needs root for a network namespace: " << whyNot;
  const peers::RadiusPki& pki = peers::RadiusPki::Get();
  const std::string secret = DemoRadiusSecret();
  ASSERT_FALSE(secret.empty());
  radius_.emplace(*space_, dir_,
                  peers::FreeRadiusOptions{{std::string(demo::kPeapUser) + " Cleartext-Password := \"" +
                                            demo::kPeapPassword + "\""},
                                           peers::Pem(pki.ca, false), peers::Pem(pki.server, false),
                                           peers::Pem(pki.server, true)},
                  secret);
  // The user's stores: the CA that the server's chain ends in, the client certificate and
  // its key.
  setenv(capi::kCertRootVariable, dir_.File("certificates").c_str(), 1);
  const auto root = capi::ImportIntoStore(capi::StoreLocation::CurrentUser, "ROOT", peers::Pem(pki.ca, false), "");
  ASSERT_TRUE(root.ok) << root.error;
  const std::string clientKey = clientKeyInStore_ ? peers::Pem(pki.client, true) : "";
  const auto mine = capi::ImportIntoStore(capi::StoreLocation::CurrentUser, "MY",
                                          peers::Pem(pki.client, false) + clientKey, "");
  ASSERT_TRUE(mine.ok) << mine.error;

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
