// The WPA2-Enterprise network of the demo world end to end: zelnicd's access point relays
// the station's EAP from the air to FreeRADIUS (in a network namespace of the test's, on its
// loopback, with the test's PKI and users), the device backend takes the demo's profile as
// the utility applies it, and libpentrel.so runs PEAP/MS-CHAP-V2 or EAP-TLS (the client
// key from the user's certificate store) and the 4-way handshake keyed with the PMK. The
// keys are set on the driver, and a data frame sent afterwards is decrypted by tshark with
// the PMK that FreeRADIUS handed the access point. A wrong password fails with the utility's
// own message, and so does EAP-TLS when the store holds the certificate without its key.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "dcf1/src/crypto/crypto_test_support.h"
#include "hosts/adapterctl/zelcon_records.h"
#include "hosts/demo/demo_profiles.h"
#include "hosts/zelnicd/e2e/profile_connection.h"
#include "hosts/zelnicd/e2e/zelnicd_process.h"
#include "platform/cryptoapi/cert_import.h"
#include "platform/cryptoapi/store_location.h"
#include "sim/air/testing/tshark_dissect.h"
#include "sim/air/world_file.h"
#include "tests/peers/freeradius_peer.h"
#include "tests/peers/pem_text.h"
#include "tests/peers/radius_certificates.h"

namespace zelcon {
namespace {

using testing::ProfileConnection;
using testing::UtilityWindow;
using zelnicd::testing::ZelnicdProcess;

constexpr char kDemoWorld[] = ZELNICD_WORLDS_DIR "/demo.world";
constexpr uint32_t kEventAssociated = 1;

std::array<uint8_t, 20> Sha1Of(const capi::testing::TestCertificate& certificate) {
  std::array<uint8_t, 20> hash{};
  unsigned int length = 0;
  X509_digest(certificate.x509.get(), EVP_sha1(), hash.data(), &length);
  return hash;
}

PROFILE_ENTRY DemoProfile(const char* name) {
  for (const PROFILE_ENTRY& p : demo::DemoProfiles(Sha1Of(peers::RadiusPki::Get().client)))
    if (FieldText(p.name) == name) return p;
  ADD_FAILURE() << "no demo profile " << name;
  return MakeDefaultProfile();
}

// The enterprise access points' RADIUS secret, as the demo world gives it.
std::string DemoRadiusSecret() {
  std::string error;
  const auto world = simair::LoadWorldFile(kDemoWorld, error);
  if (!world) return "";
  for (const auto& ap : world->accessPoints)
    if (ap.config.security == simair::Security::Wpa2Enterprise) return ap.config.radius.secret.reveal();
  return "";
}

// The PMK of the last Access-Accept: the server's debug output shows MS-MPPE-Recv-Key.
std::string LastPmkHex(const std::string& log) {
  static const std::regex key("MS-MPPE-Recv-Key = 0x([0-9a-fA-F]{64})");
  std::string last;
  for (auto it = std::sregex_iterator(log.begin(), log.end(), key); it != std::sregex_iterator(); ++it)
    last = (*it)[1];
  return last;
}

class EnterpriseEndToEnd : public ::testing::Test {
protected:
  void SetUp() override {
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
  void TearDown() override {
    if (HasFailure() && radius_) radius_->PrintLogEnd();
    unsetenv(capi::kCertRootVariable);
  }

  // Joins with the demo profile and checks the whole road down to the decrypted data frame;
  // with `connections` above 1 the port is authorized that many times (the station moves),
  // and the data goes through the access point `expectedBssid`.
  void ConnectsAndCarriesProtectedData(const char* profileName, size_t connections = 1,
                                       const uint8_t* expectedBssid = nullptr) {
    PROFILE_ENTRY profile = DemoProfile(profileName);
    ASSERT_TRUE(connection_->apply(profile));
    WipeProfile(profile);
    ASSERT_TRUE(window_.waitFor(kEventAssociated)) << zelnicd_->output();
    ASSERT_TRUE(window_.waitForCount(ZELCON_NOTIFY_PORT_AUTHORIZED, connections))
        << ::testing::PrintToString(window_.texts()) << zelnicd_->output();
    const SupplicantHost* host = connection_->adapter().Supplicant();
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->LinkStatus(), static_cast<uint32_t>(KSSTK_LINK_STATUS_AUTHENTICATED));
    EXPECT_GE(host->KeysInstalled(), 2 * connections);  // the pairwise key and the group key
    if (expectedBssid != nullptr) {
      uint8_t bssid[6] = {};
      ASSERT_EQ(connection_->adapter().QueryBssid(&connection_->adapter(), bssid, sizeof bssid), 0);
      EXPECT_EQ(0, std::memcmp(bssid, expectedBssid, 6)) << "not on the access point expected";
    }

    const std::vector<uint8_t> payload = connection_->sendDataFrame();
    ASSERT_FALSE(payload.empty()) << zelnicd_->output();
    const std::string station = connection_->stationText();
    connection_->close();
    ASSERT_EQ(zelnicd_->stop(SIGTERM), 0) << zelnicd_->output();  // the capture is complete

    const std::string pmk = LastPmkHex(radius_->Log());
    ASSERT_EQ(pmk.size(), 64u) << "no MS-MPPE-Recv-Key in the server's log";
    const auto rows = testing::DissectStationData(
        pcap_, station, "-o wlan.enable_decryption:TRUE -o 'uat:80211_keys:\"wpa-psk\",\"" + pmk + "\"'");
    ASSERT_EQ(rows.size(), 1u) << ::testing::PrintToString(rows);
    ASSERT_EQ(rows[0].size(), 3u);
    EXPECT_EQ(rows[0][0], "") << "malformed";
    EXPECT_EQ(rows[0][1], "1");
    EXPECT_EQ(rows[0][2], crypto_test::Hex(payload));
  }

  bool clientKeyInStore_ = true;
  // Joins with the profile: the server refuses the station, the utility hears `text`, and the
  // port never opens.
  void FailsWith(PROFILE_ENTRY profile, const char* text) {
    ASSERT_TRUE(connection_->apply(profile));
    WipeProfile(profile);
    ASSERT_TRUE(window_.waitForText(text)) << ::testing::PrintToString(window_.texts()) << zelnicd_->output();
    EXPECT_FALSE(window_.authorized());
    EXPECT_EQ(connection_->adapter().Supplicant()->KeysInstalled(), 0u);
  }

  peers::ScratchDir dir_;
  std::string world_ = kDemoWorld;
  std::optional<peers::NetworkNamespace> space_;
  std::optional<peers::FreeRadiusPeer> radius_;
  const std::string pcap_ = dir_.File("air.pcap");
  std::optional<ZelnicdProcess> zelnicd_;
  UtilityWindow window_;
  std::optional<ProfileConnection> connection_;
};

TEST_F(EnterpriseEndToEnd, PeapMsChapV2) { ConnectsAndCarriesProtectedData("Zelnet Corp PEAP"); }

TEST_F(EnterpriseEndToEnd, EapTlsSignsWithTheKeyOfTheUsersCertificateStore) {
  ConnectsAndCarriesProtectedData("Zelnet Corp TLS");
}

TEST_F(EnterpriseEndToEnd, AWrongPasswordFailsWithTheUtilitysMessage) {
  PROFILE_ENTRY profile = DemoProfile("Zelnet Corp PEAP");
  SetFieldText(profile.wpa.password, "not the password");
  FailsWith(profile, "Illegal login name or password for WPA authentication!");
}

// The client certificate is in the store but its key is not: nothing signs for the station,
// the handshake fails, and the port never opens.
class EnterpriseWithoutClientKey : public EnterpriseEndToEnd {
protected:
  EnterpriseWithoutClientKey() { clientKeyInStore_ = false; }
};

TEST_F(EnterpriseWithoutClientKey, EapTlsFailsWithTheUtilitysMessage) {
  FailsWith(DemoProfile("Zelnet Corp TLS"), "Illegal login name or certificate for WPA authentication!");
}

// One network on two access points. The station's fades out after its first connection: it
// moves to the other, is keyed again there from the PMKSA cache, and its data goes there.
class EnterpriseRoaming : public EnterpriseEndToEnd {
protected:
  EnterpriseRoaming() {
    std::string world = "station 00:1e:4d:2d:17:01\ndefault-loss 100\n";
    world += CorpAccessPoint("corp-east", "05", 1, -45) + CorpAccessPoint("corp-west", "06", 11, -75);
    world += "at 6s corp-east off\nat 6s corp-west signal -45\n";
    world_ = dir_.Write("roaming.world", world);
  }
  static std::string CorpAccessPoint(const std::string& name, const std::string& lastByte, int channel, int signal) {
    return "ap " + name + "\n bssid 02:5a:4c:00:00:" + lastByte + "\n ssid \"Zelnet Corp\"\n channel " +
           std::to_string(channel) + "\n security wpa2-enterprise\n radius-server 127.0.0.1\n radius-port 1812\n" +
           " radius-secret \"" + DemoRadiusSecret() + "\"\n signal " + std::to_string(signal) + "\n";
  }
};

// The access points share the PMKSA cache of the network: the station names its PMKSA in the
// reassociation, and corp-west keys it with the PMK of the EAP run at corp-east, no EAP again.
TEST_F(EnterpriseRoaming, TheOtherAccessPointOfTheNetworkKeysTheStationAgainWithTheCachedPmk) {
  const uint8_t west[6] = {0x02, 0x5a, 0x4c, 0x00, 0x00, 0x06};
  ConnectsAndCarriesProtectedData("Zelnet Corp PEAP", 2, west);
  if (HasFatalFailure()) return;

  // Corp-west's (re)association requests and EAPOL frames, in order: after the last request
  // only the 4-way and group-key frames, not one EAP packet.
  const auto rows = simair::testing::Dissect(
      pcap_, "wlan.bssid == 02:5a:4c:00:00:06 && (wlan.fc.type_subtype == 0 || wlan.fc.type_subtype == 2 || eapol)",
      {"wlan.fc.type", "eapol.type"});
  size_t keyFrames = 0, otherEapol = 0;
  bool associated = false;
  for (const std::string& row : rows) {
    const std::vector<std::string> fields = simair::testing::SplitRow(row);
    ASSERT_EQ(fields.size(), 3u) << row;
    if (fields[1] == "0") {  // a management frame: the (re)association request
      associated = true;
      keyFrames = otherEapol = 0;
    } else if (fields[2] == "3") {
      ++keyFrames;
    } else {
      ++otherEapol;
    }
  }
  EXPECT_TRUE(associated) << ::testing::PrintToString(rows);
  EXPECT_GE(keyFrames, 4u) << ::testing::PrintToString(rows);
  EXPECT_EQ(otherEapol, 0u) << "EAP ran again at corp-west: " << ::testing::PrintToString(rows);
  EXPECT_EQ(simair::testing::Dissect(pcap_, "eap && wlan.bssid == 02:5a:4c:00:00:06", {}).size(), 0u);
}

}  // namespace
}  // namespace zelcon
