// The adapter-control library as the supplicant's host, end to end, for the networks without
// an authentication server: zelnicd runs the demo world, the device backend takes the demo's
// profile as the utility applies it, libpentrel.so (loaded through its public header)
// answers the access point's 4-way handshake through the driver's EAPOL events and raw
// frames (open and static-WEP networks run without it), the keys are set on the driver, and
// a data frame sent afterwards is on the air as the network protects it, which tshark reads
// back from the capture with the network's own key. A wrong pass phrase never authorizes
// the port and the utility hears that the authentication failed. A TKIP MIC failure the
// driver finds goes to the library, whose report reaches the access point.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "dcf1/src/crypto/crypto_test_support.h"
#include "hosts/adapterctl/zelcon_records.h"
#include "hosts/demo/demo_profiles.h"
#include "hosts/zelnicd/e2e/profile_connection.h"
#include "hosts/zelnicd/e2e/zelnicd_process.h"
#include "sim/air/testing/tshark_dissect.h"

namespace zelcon {
namespace {

using testing::ProfileConnection;
using testing::UtilityWindow;
using zelnicd::testing::ZelnicdProcess;

constexpr uint32_t kEventAssociated = 1;

struct NetworkCase {
  const char* name;
  const char* profile;   // the demo profile's name
  bool supplicant;       // whether the library takes part
  const char* protectedField;  // what tshark reads of the data frame's Protected bit
  const char* tsharkKeys;      // the network's key for tshark
};
void PrintTo(const NetworkCase& c, std::ostream* out) { *out << c.name; }

PROFILE_ENTRY DemoProfile(const char* name) {
  for (const PROFILE_ENTRY& p : demo::DemoProfiles(std::nullopt))
    if (FieldText(p.name) == name) return p;
  ADD_FAILURE() << "no demo profile " << name;
  return MakeDefaultProfile();
}

class SupplicantHostEndToEnd : public ::testing::TestWithParam<NetworkCase> {
protected:
  void SetUp() override {
    setenv("ZELCON_PENTREL_LIBRARY", PENTREL_LIBRARY, 1);
    ASSERT_TRUE(zelnicd.waitForDevice()) << zelnicd.output();
  }

  void TearDown() override {
    if (!HasFailure()) std::remove(pcap.c_str());  // a failed case keeps its capture to look at
  }

  // Its own name: other runs of these tests may share the temporary directory.
  const std::string pcap =
      simair::testing::TempPcapPath(std::string("supplicant_host_") + GetParam().name);
  ZelnicdProcess zelnicd{{"--world", ZELNICD_WORLDS_DIR "/demo.world", "--pcap", pcap}};
  UtilityWindow window;
  ProfileConnection connection{window, zelnicd.registryRoot(), zelnicd.devicePath()};
};

TEST_P(SupplicantHostEndToEnd, JoinsInstallsTheKeysAndCarriesProtectedData) {
  const NetworkCase& c = GetParam();
  PROFILE_ENTRY profile = DemoProfile(c.profile);
  ASSERT_TRUE(connection.apply(profile));
  WipeProfile(profile);

  ASSERT_TRUE(window.waitFor(kEventAssociated)) << zelnicd.output();
  const SupplicantHost* host = connection.adapter().Supplicant();
  if (c.supplicant) {
    ASSERT_NE(host, nullptr);
    ASSERT_TRUE(window.waitFor(ZELCON_NOTIFY_PORT_AUTHORIZED))
        << "link status " << host->LinkStatus() << ", keys " << host->KeysInstalled() << "\n" << zelnicd.output();
    EXPECT_EQ(host->LinkStatus(), static_cast<uint32_t>(KSSTK_LINK_STATUS_CONNECTED_WITHOUT_8021X));
    EXPECT_GE(host->KeysInstalled(), 2u);  // the pairwise key and the group key
    const std::vector<std::string> texts = window.texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Authenticated"), texts.end());
  } else {
    EXPECT_EQ(host, nullptr) << "the library was started for a network without a supplicant";
  }

  const std::vector<uint8_t> payload = connection.sendDataFrame();
  ASSERT_FALSE(payload.empty()) << zelnicd.output();
  const std::string station = connection.stationText();
  connection.close();
  ASSERT_EQ(zelnicd.stop(SIGTERM), 0) << zelnicd.output();  // the capture is complete

  if (c.supplicant) {
    // The access point's first message 1 was answered: it is the only one on the air.
    const auto messages1 = simair::testing::Dissect(pcap, "wlan_rsna_eapol.keydes.msgnr == 1", {"frame.number"});
    EXPECT_EQ(messages1.size(), 1u) << ::testing::PrintToString(messages1);
  }
  const auto rows = testing::DissectStationData(pcap, station, c.tsharkKeys);
  ASSERT_EQ(rows.size(), 1u) << ::testing::PrintToString(rows);
  ASSERT_EQ(rows[0].size(), 3u);
  EXPECT_EQ(rows[0][0], "") << "malformed";
  EXPECT_EQ(rows[0][1], c.protectedField);
  EXPECT_EQ(rows[0][2], crypto_test::Hex(payload));
}

#define WPA_PWD(passphrase, ssid) \
  "-o wlan.enable_decryption:TRUE -o 'uat:80211_keys:\"wpa-pwd\",\"" passphrase ":" ssid "\"'"

INSTANTIATE_TEST_SUITE_P(
    Networks, SupplicantHostEndToEnd,
    ::testing::Values(
        NetworkCase{"Open", "Zelnet Guest", false, "0", ""},
        NetworkCase{"Wep", "Zelnet Workshop", false, "1",
                    "-o wlan.enable_decryption:TRUE -o 'uat:80211_keys:\"wep\",\"01:02:03:04:05\"'"},
        NetworkCase{"Wpa2Ccmp", "Zelnet Office", true, "1", WPA_PWD("correct horse battery staple", "Zelnet Office")},
        NetworkCase{"WpaTkip", "Zelnet Warehouse", true, "1",
                    WPA_PWD("forklift on the loading dock", "Zelnet Warehouse")}),
    [](const ::testing::TestParamInfo<NetworkCase>& info) { return std::string(info.param.name); });

// The access point's 4-way handshake fails on the station's MIC: the port stays closed,
// no key reaches the driver, and the utility is told the authentication failed.
TEST(SupplicantHostWrongPassphrase, NeverAuthorizesAndTellsTheUtility) {
  setenv("ZELCON_PENTREL_LIBRARY", PENTREL_LIBRARY, 1);
  ZelnicdProcess zelnicd{{"--world", ZELNICD_WORLDS_DIR "/demo.world"}};
  ASSERT_TRUE(zelnicd.waitForDevice()) << zelnicd.output();
  UtilityWindow window;
  ProfileConnection connection{window, zelnicd.registryRoot(), zelnicd.devicePath()};
  PROFILE_ENTRY profile = DemoProfile("Zelnet Office");
  const std::string wrong = "incorrect horse battery staple";
  std::memset(profile.wpa.passphrase, 0, sizeof profile.wpa.passphrase);
  std::memcpy(profile.wpa.passphrase, wrong.data(), wrong.size());
  profile.wpa.passphraseLength = static_cast<uint32_t>(wrong.size());
  ASSERT_TRUE(connection.apply(profile));
  WipeProfile(profile);

  ASSERT_TRUE(window.waitForText("Authentication failed"))
      << ::testing::PrintToString(window.texts()) << zelnicd.output();
  EXPECT_FALSE(window.authorized());
  ASSERT_NE(connection.adapter().Supplicant(), nullptr);
  EXPECT_EQ(connection.adapter().Supplicant()->KeysInstalled(), 0u);
}

// The driver's TKIP MIC failure reaches the link: the access point of this world sends one
// frame with a wrong Michael MIC once the station's keys are in force, the driver finds it
// (event 10, the pairwise key's flags), and the station's MIC-failure report is on the air:
// an EAPOL-Key request with the Error bit for the pairwise key, which tshark reads under the
// network's key and the access point takes.
TEST(SupplicantHostMicFailure, TheStationReportsTheDriversMicFailureToTheAccessPoint) {
  constexpr intptr_t kPairwiseKeyError = 6;
  constexpr uint32_t kEventMicFailure = 10;
  setenv("ZELCON_PENTREL_LIBRARY", PENTREL_LIBRARY, 1);
  const std::string world = ::testing::TempDir() + "/supplicant_host_michael_" + std::to_string(getpid()) + ".world";
  {
    std::ofstream file(world);
    file << "ap warehouse\n bssid 02:5a:4c:00:00:04\n ssid \"Zelnet Warehouse\"\n channel 3\n security wpa-psk\n"
            " passphrase \"forklift on the loading dock\"\n bad-michael\n";
  }
  const std::string pcap = simair::testing::TempPcapPath("supplicant_host_mic_failure");
  ZelnicdProcess zelnicd{{"--world", world, "--pcap", pcap}};
  ASSERT_TRUE(zelnicd.waitForDevice()) << zelnicd.output();
  UtilityWindow window;
  ProfileConnection connection{window, zelnicd.registryRoot(), zelnicd.devicePath()};
  PROFILE_ENTRY profile = DemoProfile("Zelnet Warehouse");
  ASSERT_TRUE(connection.apply(profile));
  WipeProfile(profile);

  ASSERT_TRUE(window.waitFor(ZELCON_NOTIFY_PORT_AUTHORIZED)) << zelnicd.output();
  ASSERT_TRUE(window.waitFor(kEventMicFailure, kPairwiseKeyError)) << zelnicd.output();
  const std::string station = connection.stationText();
  EXPECT_TRUE(zelnicd.waitForOutput("zelnicd: air: warehouse: " + station + " reported a Michael MIC failure"))
      << zelnicd.output();
  connection.close();
  ASSERT_EQ(zelnicd.stop(SIGTERM), 0) << zelnicd.output();
  std::remove(world.c_str());

  const auto rows = simair::testing::Dissect(
      pcap, "wlan.sa == " + station + " && wlan_rsna_eapol.keydes.key_info.request == 1",
      {"eapol.keydes.type", "wlan_rsna_eapol.keydes.key_info.error", "wlan_rsna_eapol.keydes.key_info.key_type"},
      WPA_PWD("forklift on the loading dock", "Zelnet Warehouse"));
  ASSERT_EQ(rows.size(), 1u) << ::testing::PrintToString(rows);
  EXPECT_EQ(simair::testing::SplitRow(rows[0]), (std::vector<std::string>{"", "254", "1", "1"}));
  if (!HasFailure()) std::remove(pcap.c_str());
}

}  // namespace
}  // namespace zelcon
