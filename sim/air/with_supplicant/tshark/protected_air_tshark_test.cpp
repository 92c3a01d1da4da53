// tshark as a third implementation of the ciphers: a WPA2 (CCMP) and a WPA (TKIP) network
// carry data both ways between the access point and a station whose keys come from the
// supplicant's handshake, and tshark, given only the pass phrase (the handshake is in the
// capture), decrypts every protected data frame to the bytes sent.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "dcf1/src/crypto/crypto_test_support.h"
#include "sim/air/testing/tshark_dissect.h"
#include "sim/air/with_supplicant/supplicant_on_air.h"

namespace simair::testing {
namespace {

const dot11::Bytes kSnapLocal{0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x88, 0xB5};  // local experimental type

struct ProtectedAirTshark : ::testing::TestWithParam<Network>, SupplicantOnAir {};

TEST_P(ProtectedAirTshark, DecryptsEveryProtectedDataFrameToWhatWasSent) {
  const std::string pcap = simair::testing::TempPcapPath(std::string("simair_protected_") + GetParam().name);
  std::string error;
  auto recorder = PcapRecorder::Create(pcap, PcapLinkType::Ieee80211, error);
  ASSERT_TRUE(recorder) << error;
  Start(GetParam(), recorder.get());
  Connect();
  std::set<std::string> sent;
  for (std::uint8_t i = 0; i < 3; ++i) {
    const dot11::Bytes up{0x10, i, 0xAB, 0xCD, 0xEF}, down{0x20, i, 0x01, 0x02};
    SendData(Append(kSnapLocal, up), true);
    ASSERT_EQ(port->deliver({kSta, kWired, 0x88B5, down}), AccessPoint::DataOutcome::Sent);
    Pump(5ms);
    sent.insert(crypto_test::Hex(up));
    sent.insert(crypto_test::Hex(down));
  }
  ASSERT_EQ(port->waiting(), 3u);
  medium.setRecorder(nullptr);
  recorder.reset();

  const std::string keys = std::string("-o wlan.enable_decryption:TRUE -o 'uat:80211_keys:\"wpa-pwd\",\"") +
                           keys_test::kPassphrase + ":" + keys_test::kSsid + "\"'";
  const auto rows = Dissect(pcap, "wlan.fc.type_subtype == 0x0020 && wlan.fc.protected == 1 && !eapol",
                            {"wlan.sa", "data.data"}, keys);
  std::set<std::string> decrypted;
  for (const std::string& row : rows) {
    const auto fields = SplitRow(row);
    ASSERT_EQ(fields.size(), 3u) << row;
    EXPECT_EQ(fields[0], "") << "malformed: " << row;
    decrypted.insert(fields[2]);
  }
  EXPECT_EQ(rows.size(), 6u);
  EXPECT_EQ(decrypted, sent);
  std::filesystem::remove(pcap);
}

INSTANTIATE_TEST_SUITE_P(Networks, ProtectedAirTshark,
                         ::testing::Values(Network{"Wpa2Ccmp", Security::Wpa2, KeyProtocol::Rsn, Cipher::Ccmp, Cipher::Ccmp},
                                           Network{"WpaTkip", Security::Wpa, KeyProtocol::Wpa, Cipher::Tkip, Cipher::Tkip}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace simair::testing
