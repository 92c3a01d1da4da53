// The adapter-control library as the supplicant's host, end to end: zelnicd runs the demo
// world, the device backend joins a WPA-Personal network the way the utility applies a
// profile, libpentrel.so (loaded through its public header) answers the access point's
// 4-way handshake through the driver's EAPOL events and raw frames, the keys it hands over
// are set on the driver, and a data frame sent afterwards is on the air protected, which
// tshark decrypts from the pass phrase and the captured handshake.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "driver/ndis/private_oids.h"
#include "hosts/adapterctl/device/device_adapter.h"
#include "hosts/adapterctl/zelcon_records.h"
#include "hosts/zelnicd/e2e/zelnicd_process.h"
#include "dcf1/src/crypto/crypto_test_support.h"
#include "sim/air/testing/tshark_dissect.h"

namespace zelcon {
namespace {

using zelnicd::testing::ZelnicdProcess;

struct Notice {
  uint32_t code;
  intptr_t param;
  std::string text;
};

// What reached the utility's window.
struct Received {
  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<Notice> notices;
  bool waitFor(uint32_t code, intptr_t param = -1) {
    std::unique_lock lock(mutex);
    return arrived.wait_for(lock, std::chrono::seconds(30), [&] {
      return std::any_of(notices.begin(), notices.end(), [&](const Notice& n) {
        return n.code == code && (param < 0 || n.param == param);
      });
    });
  }
  std::vector<std::string> texts() {
    std::lock_guard lock(mutex);
    std::vector<std::string> all;
    for (const Notice& n : notices)
      if (n.code == ZELCON_NOTIFY_CONNECTION_TEXT) all.push_back(n.text);
    return all;
  }
};
Received g_received;

void Collect(void*, uint32_t code, intptr_t param, const char* text) {
  std::lock_guard lock(g_received.mutex);
  g_received.notices.push_back({code, param, text != nullptr ? text : ""});
  g_received.arrived.notify_all();
}

struct PersonalCase {
  const char* name;
  const char* ssid;
  const char* passphrase;
  uint32_t authMode;    // 7 WPA2-PSK, 4 WPA-PSK
  uint32_t wepStatus;   // 6 AES, 4 TKIP
  uint32_t encryption;  // the profile's: 3 AES, 2 TKIP
};
void PrintTo(const PersonalCase& c, std::ostream* out) { *out << c.name; }

class SupplicantHostEndToEnd : public ::testing::TestWithParam<PersonalCase> {
protected:
  void SetUp() override {
    setenv("ZELCON_PENTREL_LIBRARY", PENTREL_LIBRARY, 1);
    ASSERT_TRUE(zelnicd.waitForDevice()) << zelnicd.output();
    {
      std::lock_guard lock(g_received.mutex);
      g_received.notices.clear();
    }
    notifier.SetPoster(&Collect);
    adapter.Initialize(reinterpret_cast<void*>(1));
  }

  // The profile's 500-byte WPA information block with the pass phrase.
  static std::vector<uint8_t> WpaBlock(const std::string& passphrase) {
    std::vector<uint8_t> block(500);
    std::memcpy(block.data(), passphrase.data(), passphrase.size());
    const auto length = static_cast<uint32_t>(passphrase.size());
    std::memcpy(block.data() + 132, &length, 4);
    return block;
  }

  const std::string pcap = ::testing::TempDir() + "supplicant_host_" + GetParam().name + ".pcap";
  ZelnicdProcess zelnicd{{"--world", ZELNICD_WORLDS_DIR "/demo.world", "--pcap", pcap}};
  Notifier notifier;
  DeviceAdapter adapter{notifier, plat::RegistryStore(zelnicd.registryRoot()), zelnicd.devicePath()};
};

TEST_P(SupplicantHostEndToEnd, JoinsInstallsTheHandshakesKeysAndCarriesProtectedData) {
  const PersonalCase& c = GetParam();
  void* handle = nullptr;
  ASSERT_EQ(adapter.OpenAdapter(handle), 0);
  // As the utility applies a personal profile: mode, security, WPA information, SSID.
  ASSERT_EQ(adapter.SetNetworkMode(handle, 1), 0);
  ASSERT_EQ(adapter.SetAuthMode(handle, c.authMode), 0);
  ASSERT_EQ(adapter.SetWepStatus(handle, c.wepStatus), 0);
  const std::vector<uint8_t> wpa = WpaBlock(c.passphrase);
  ASSERT_EQ(adapter.SetWPAInformation(handle, 1, c.authMode, c.encryption, wpa.data(), c.ssid), 0);
  ASSERT_EQ(adapter.SetSsid(handle, c.ssid, static_cast<uint32_t>(std::strlen(c.ssid)), 0), 0);

  ASSERT_TRUE(g_received.waitFor(HLVN_EVENT_ASSOCIATED)) << zelnicd.output();
  const SupplicantHost* host = adapter.Supplicant();
  ASSERT_NE(host, nullptr);
  ASSERT_TRUE(g_received.waitFor(ZELCON_NOTIFY_PORT_AUTHORIZED))
      << "link status " << host->LinkStatus() << ", keys " << host->KeysInstalled() << "\n" << zelnicd.output();
  EXPECT_EQ(host->LinkStatus(), static_cast<uint32_t>(KSSTK_LINK_STATUS_CONNECTED_WITHOUT_8021X));
  EXPECT_GE(host->KeysInstalled(), 2u);  // the pairwise key and the group key
  const std::vector<std::string> texts = g_received.texts();
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Authenticated"), texts.end());

  // A data frame through the driver's data path under the new keys.
  const uint8_t server[6] = {0x02, 0x00, 0x00, 0x00, 0x09, 0x01};
  uint8_t station[6] = {};
  ASSERT_EQ(adapter.GetMacAddress(handle, station, sizeof station), 0);
  const std::vector<uint8_t> payload(120, 0x5A);
  std::vector<uint8_t> frame(server, server + 6);
  frame.insert(frame.end(), station, station + 6);
  frame.insert(frame.end(), {0x88, 0xB5});
  frame.insert(frame.end(), payload.begin(), payload.end());
  constexpr uint16_t kTag = 0x7E57;
  std::vector<uint8_t> record = {static_cast<uint8_t>(frame.size()), static_cast<uint8_t>(frame.size() >> 8),
                                 static_cast<uint8_t>(kTag), static_cast<uint8_t>(kTag >> 8)};
  record.insert(record.end(), frame.begin(), frame.end());
  ASSERT_EQ(adapter.Set(OID_HLVN_SEND_FRAME, record), 0);
  ASSERT_TRUE(g_received.waitFor(133, kTag)) << zelnicd.output();
  EXPECT_EQ(adapter.CloseAdapter(handle), 0);
  ASSERT_EQ(zelnicd.stop(SIGTERM), 0) << zelnicd.output();  // the capture is complete

  const std::string keys = std::string("-o wlan.enable_decryption:TRUE -o 'uat:80211_keys:\"wpa-pwd\",\"") +
                           c.passphrase + ":" + c.ssid + "\"'";
  char stationText[18];
  std::snprintf(stationText, sizeof stationText, "%02x:%02x:%02x:%02x:%02x:%02x", station[0], station[1],
                station[2], station[3], station[4], station[5]);
  const auto rows = simair::testing::Dissect(pcap, std::string("wlan.sa == ") + stationText +
                                                       " && wlan.fc.type == 2 && !eapol",
                                             {"wlan.fc.protected", "data.data"}, keys);
  ASSERT_EQ(rows.size(), 1u) << ::testing::PrintToString(rows);
  const auto fields = simair::testing::SplitRow(rows[0]);
  ASSERT_EQ(fields.size(), 3u) << rows[0];
  EXPECT_EQ(fields[0], "") << "malformed: " << rows[0];
  EXPECT_EQ(fields[1], "1") << rows[0];
  EXPECT_EQ(fields[2], crypto_test::Hex(payload));
}

INSTANTIATE_TEST_SUITE_P(
    Networks, SupplicantHostEndToEnd,
    ::testing::Values(PersonalCase{"Wpa2Ccmp", "Zelnet Office", "correct horse battery staple", 7, 6, 3},
                      PersonalCase{"WpaTkip", "Zelnet Warehouse", "forklift on the loading dock", 4, 4, 2}),
    [](const ::testing::TestParamInfo<PersonalCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zelcon
