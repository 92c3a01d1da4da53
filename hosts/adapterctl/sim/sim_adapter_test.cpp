#include "hosts/adapterctl/sim/sim_adapter.h"

#include <gtest/gtest.h>

#include <cstring>

#include "hosts/adapterctl/testing/notification_sink.h"
#include "platform/win32/test_temp_dir.h"

namespace zelcon {
namespace {

SimScenario TwoNetworks() {
  SimScenarioResult r = ParseSimScenario(
      "connect_delay_ms = 0\n"
      "region = 0x30\n"
      "bss = Office | 00-11-22-33-44-01 | 6 | -45 | wpa2-psk | infra | g\n"
      "bss = Cafe | 00-11-22-33-44-02 | 11 | -70 | open | infra | b | 0x02\n"
      "connect = Locked | 7\n");
  return *r.scenario;
}

struct SimFixture : ::testing::Test {
  plat::TestTempDir registryRoot;
  NotificationSink sink;
  Notifier notifier;
  SimAdapter sim{TwoNetworks(), notifier, plat::RegistryStore(registryRoot.Path())};
  void* h = nullptr;

  void SetUp() override {
    notifier.SetPoster(NotificationSink::Post);
    sim.Initialize(sink.Window());
    sim.OpenAdapter(h);
    ASSERT_NE(h, nullptr);
  }
  uint32_t NextCode() { return sink.Next().code; }
};

TEST_F(SimFixture, AnswersTheAdapterFacts) {
  uint8_t mac[6];
  ASSERT_EQ(sim.GetMacAddress(h, mac, 6), 0);
  EXPECT_EQ(mac[0], 0x00);
  EXPECT_EQ(mac[5], 0x56);
  uint32_t region = 0;
  sim.QueryRegionCode(h, region);
  EXPECT_EQ(region, 0x30u);
  char text[400] = {};
  ASSERT_EQ(sim.QueryRegistryPath(h, text, sizeof text), 0);
  EXPECT_STREQ(text, SimAdapter::kAdapterKey);
  ASSERT_EQ(sim.QueryDriverVersion(h, text, 100), 0);
  EXPECT_STREQ(text, "1.0.0.1");
  ASSERT_EQ(sim.QueryRegistry(SimAdapter::kAdapterKey, "NetCfgInstanceId", text, 100), 0);
  EXPECT_EQ(text[0], '{');
  ASSERT_EQ(sim.QueryDeviceDesc(h, text, 200), 0);
  EXPECT_NE(std::strstr(text, "6140"), nullptr);
}

TEST_F(SimFixture, JoinsKnownNetworksAndReportsTheOutcome) {
  EXPECT_EQ(sim.SetSsid(h, "Office", 6, 0), 0);
  EXPECT_EQ(NextCode(), uint32_t(HLVN_EVENT_ASSOCIATED));
  EXPECT_EQ(sim.GetConnectStatus(h), 1);
  char ssid[33] = {};
  sim.QuerySsid(h, ssid, 32);
  EXPECT_STREQ(ssid, "Office");
  uint8_t bssid[6];
  ASSERT_EQ(sim.QueryBssid(h, bssid, 6), 0);
  EXPECT_EQ(bssid[5], 0x01);
  EXPECT_EQ(sim.SetSsid(h, "Office", 6, 0), 4);  // already there

  EXPECT_EQ(sim.SetSsid(h, "Nowhere", 7, 0), 0);  // accepted, then fails
  EXPECT_EQ(NextCode(), uint32_t(HLVN_EVENT_DISCONNECTED));
  EXPECT_EQ(NextCode(), uint32_t(HLVN_EVENT_CONNECT_FAILED));
  EXPECT_EQ(sim.GetConnectStatus(h), 0);
  EXPECT_EQ(sim.QueryBssid(h, bssid, 6), 1);

  EXPECT_EQ(sim.SetSsid(h, "Locked", 6, 0), 7);  // scripted result
  sim.SetNetworkMode(h, 0);
  EXPECT_EQ(sim.SetSsid(h, "Party", 5, 0), 0);    // an IBSS of our own
  EXPECT_EQ(NextCode(), uint32_t(HLVN_EVENT_IBSS_CONNECTED));
}

TEST_F(SimFixture, RadioOffRefusesToJoinAndDropsTheLink) {
  ASSERT_EQ(sim.SetSsid(h, "Cafe", 4, 0), 0);
  ASSERT_EQ(NextCode(), uint32_t(HLVN_EVENT_ASSOCIATED));
  sim.SetRadioControl(h, 0);
  EXPECT_EQ(NextCode(), uint32_t(HLVN_EVENT_DISCONNECTED));
  EXPECT_EQ(sim.SetSsid(h, "Cafe", 4, 0), 1);
  ZELCON_SSID_SCAN scan{};
  EXPECT_EQ(sim.SsidScan(h, &scan), 1);
}

TEST_F(SimFixture, ScanListHasTheLibraryLayout) {
  std::vector<uint8_t> buffer(kZelconScanBufferSize, 0xEE);
  ASSERT_EQ(sim.QueryScanList(h, buffer.data(), kZelconScanBufferSize), 0);
  uint32_t count;
  std::memcpy(&count, buffer.data(), 4);
  ASSERT_EQ(count, 2u);
  SCAN_LIST_ENTRY cafe;
  std::memcpy(&cafe, buffer.data() + 4 + 152, sizeof cafe);
  EXPECT_EQ(cafe.Length, 152u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(cafe.Ssid), cafe.SsidLength), "Cafe");
  EXPECT_EQ(cafe.Privacy, 0u);
  EXPECT_EQ(cafe.Rssi, -70);
  EXPECT_EQ(cafe.DsConfig, 2462000u);
  EXPECT_EQ(cafe.InfrastructureMode, 1u);
  EXPECT_EQ(cafe.BOnly, 1u);
  EXPECT_EQ(cafe.Channel, 11u);
  const uint8_t vendor[] = {0xDD, 0x07, 0x02, 0x5A, 0x9C, 0x00, 0x00, 0x02};
  EXPECT_EQ(std::memcmp(cafe.Vendor, vendor, 8), 0);
  // A buffer too small for one entry still gets a valid, empty list.
  EXPECT_EQ(sim.QueryScanList(h, buffer.data(), 100), 0);
  std::memcpy(&count, buffer.data(), 4);
  EXPECT_EQ(count, 0u);
}

TEST_F(SimFixture, ExtendedListCarriesSecurityElementsOrReportsTooShort) {
  std::vector<uint8_t> buffer(kZelconScanBufferSize);
  uint32_t length = 0;
  ASSERT_EQ(sim.QueryScanListLength(h, buffer.data(), kZelconScanBufferSize, length), 0);
  ZELCON_BSSID_EX_HEAD office;
  std::memcpy(&office, buffer.data() + 4, sizeof office);
  ASSERT_GE(office.IELength, 12u + 8 + 22);
  EXPECT_EQ(buffer[4 + 116 + 12 + 2 + 6], 0x30);  // the RSN element after the SSID element
  EXPECT_LE(4 + office.Length, length);
  EXPECT_EQ(sim.QueryScanListLength(h, buffer.data(), 64, length), -1);
}

TEST_F(SimFixture, ProfileInUseSurvivesARestartThroughTheRegistry) {
  ASSERT_EQ(sim.SetProfileInUse(h, "Office", 6), 0);
  Notifier otherNotifier;
  SimAdapter restarted(TwoNetworks(), otherNotifier, plat::RegistryStore(registryRoot.Path()));
  void* h2 = nullptr;
  restarted.OpenAdapter(h2);
  char name[40] = {};
  ASSERT_EQ(restarted.QueryProfileInUse(h2, name, sizeof name), 0);
  EXPECT_STREQ(name, "Office");
}

TEST_F(SimFixture, SwiftBondRunsOnAStartWhileAssociatedAndKeepsTheAccessPointsAnswer) {
  HLVN_SWIFTBOND_SETUP_REQ start{8, 0x01, 1, 1, 0};
  HLVN_SWIFTBOND_SETUP_REQ stop{8, 0x01, 2, 1, 0};
  ASSERT_EQ(sim.SetSBSetupRequest(h, &start), 0);  // not associated: the exchange fails
  EXPECT_EQ(NextCode(), uint32_t(HLVN_EVENT_SWIFTBOND_STEP));
  EXPECT_EQ(NextCode(), uint32_t(HLVN_EVENT_SWIFTBOND_FAILED));

  ASSERT_EQ(sim.SetSsid(h, "Cafe", 4, 0), 0);
  EXPECT_EQ(NextCode(), uint32_t(HLVN_EVENT_ASSOCIATED));
  ASSERT_EQ(sim.SetSBSetupRequest(h, &stop), 0);  // nothing runs
  ASSERT_EQ(sim.SetSBSetupRequest(h, &start), 0);
  for (uint32_t step = 0; step <= 7; ++step) EXPECT_EQ(NextCode(), HLVN_EVENT_SWIFTBOND_STEP + step);
  sim.SetSsid(h, "\x01\x01", 2, 0);  // the utility leaves the access point
  HLVN_SWIFTBOND_AP_INFO info{};
  ASSERT_EQ(sim.QuerySwiftBondAPInfo(h, &info), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(info.Ssid), info.SsidLength), "Cafe");
}

TEST_F(SimFixture, UnplugNotifiesRemovalAndLeavesNoAdapter) {
  sim.Unplug();
  EXPECT_EQ(NextCode(), uint32_t(HLVN_EVENT_ADAPTER_REMOVED));
  void* again = nullptr;
  sim.OpenAdapter(again);
  EXPECT_EQ(again, nullptr);
  sim.Plug();
  sim.OpenAdapter(again);
  EXPECT_NE(again, nullptr);
}

}  // namespace
}  // namespace zelcon
