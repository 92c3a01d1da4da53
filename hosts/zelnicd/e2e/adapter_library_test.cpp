// The adapter-control library's real backend against a running zelnicd: open, the adapter's
// facts, the radio, a scan of the demo world and its list, joining its open network and
// leaving it with the notifications in the utility's codes, the key records it sets wiped
// from its copies, and the removal notice when zelnicd stops.
#include <gtest/gtest.h>
#include <signal.h>

#include <array>
#include <condition_variable>
#include <cstring>
#include <map>
#include <string>
#include <mutex>
#include <vector>

#include "driver/ndis/driver_release.h"
#include "hosts/adapterctl/device/device_adapter.h"
#include "hosts/adapterctl/device/published_oids.h"
#include "hosts/adapterctl/zelcon_records.h"
#include "hosts/zelnicd/e2e/zelnicd_process.h"
#include "platform/ndis/testing/freed_memory_watch.h"

namespace zelcon {
namespace {

using zelnicd::testing::ZelnicdProcess;

// What reached the utility's window.
struct Received {
  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<uint32_t> codes;
  bool waitFor(uint32_t code) {
    std::unique_lock lock(mutex);
    return arrived.wait_for(lock, std::chrono::seconds(20), [&] {
      return std::find(codes.begin(), codes.end(), code) != codes.end();
    });
  }
};
Received g_received;

void Collect(void*, uint32_t code, intptr_t, const char*) {
  std::lock_guard lock(g_received.mutex);
  g_received.codes.push_back(code);
  g_received.arrived.notify_all();
}

struct Library : ::testing::Test {
  void SetUp() override {
    ASSERT_TRUE(zelnicd.waitForDevice()) << zelnicd.output();
    {
      std::lock_guard lock(g_received.mutex);
      g_received.codes.clear();
    }
    notifier.SetPoster(&Collect);
    adapter.Initialize(reinterpret_cast<void*>(1));
  }
  ZelnicdProcess zelnicd{{"--world", ZELNICD_WORLDS_DIR "/office.world"}};
  Notifier notifier;
  DeviceAdapter adapter{notifier, plat::RegistryStore(zelnicd.registryRoot()), zelnicd.devicePath()};
};

TEST_F(Library, OpensTheAdapterAndReadsItsFacts) {
  void* handle = nullptr;
  ASSERT_EQ(adapter.OpenAdapter(handle), 0);
  ASSERT_NE(handle, nullptr);
  uint8_t mac[6] = {};
  ASSERT_EQ(adapter.GetMacAddress(handle, mac, sizeof mac), 0);
  const uint8_t chip[6] = {0x00, 0x1E, 0x4D, 0x2D, 0x17, 0x01};
  EXPECT_EQ(std::memcmp(mac, chip, 6), 0);
  uint32_t region = 0;
  EXPECT_EQ(adapter.QueryRegionCode(handle, region), 0);
  EXPECT_EQ(region, 0x10u);
  uint32_t firmware = 0;
  EXPECT_EQ(adapter.QueryFirmwareVersion(handle, firmware), 0);
  EXPECT_NE(firmware, 0u);
  // The driver package's release, written into the adapter's key by zelnicd as setup does.
  char text[100] = {};
  ASSERT_EQ(adapter.QueryDriverVersion(handle, text, sizeof text), 0);
  EXPECT_STREQ(text, kDriverVersion);
  ASSERT_EQ(adapter.QueryDriverDate(handle, text, sizeof text), 0);
  EXPECT_STREQ(text, kDriverDate);
  EXPECT_NE(adapter.QueryDriverDate(handle, text, 5), 0);  // does not fit: nothing half-written is used
  EXPECT_EQ(adapter.GetConnectStatus(handle), 0);
  uint32_t fragment = 0;
  EXPECT_EQ(adapter.QueryFragThreshold(handle, fragment), 0);
  EXPECT_EQ(fragment, 2346u);
  EXPECT_EQ(adapter.SetFragThreshold(handle, 255), 1);  // the driver refuses it
  EXPECT_EQ(adapter.CloseAdapter(handle), 0);
}

TEST_F(Library, TurnsTheRadioOffAndOn) {
  void* handle = nullptr;
  ASSERT_EQ(adapter.OpenAdapter(handle), 0);
  uint32_t radio = 9;
  ASSERT_EQ(adapter.QueryRadioControl(handle, radio), 0);
  EXPECT_EQ(radio, 1u);
  EXPECT_EQ(adapter.SetRadioControl(handle, 0), 0);
  EXPECT_EQ(adapter.QueryRadioControl(handle, radio), 0);
  EXPECT_EQ(radio, 0u);
  EXPECT_EQ(adapter.SetRadioControl(handle, 1), 0);
  EXPECT_EQ(adapter.QueryRadioControl(handle, radio), 0);
  EXPECT_EQ(radio, 1u);
}

std::string SsidOf(const SCAN_LIST_ENTRY& entry) {
  return std::string(reinterpret_cast<const char*>(entry.Ssid), std::min<uint32_t>(entry.SsidLength, 32));
}

TEST_F(Library, ScansTheWorldJoinsItsOpenNetworkAndLeavesIt) {
  void* handle = nullptr;
  ASSERT_EQ(adapter.OpenAdapter(handle), 0);
  ASSERT_EQ(adapter.Scan(handle), 0);
  ASSERT_TRUE(g_received.waitFor(HLVN_EVENT_SCAN_COMPLETE)) << zelnicd.output();

  // The list in the library's records: the three access points with their channels.
  std::vector<uint8_t> buffer(kZelconScanBufferSize);
  ASSERT_EQ(adapter.QueryScanList(handle, buffer.data(), static_cast<uint32_t>(buffer.size())), 0);
  uint32_t count = 0;
  std::memcpy(&count, buffer.data(), 4);
  ASSERT_EQ(count, 3u);
  std::map<std::string, uint32_t> channels;
  for (uint32_t i = 0; i < count; ++i) {
    SCAN_LIST_ENTRY entry;
    std::memcpy(&entry, buffer.data() + 4 + i * sizeof entry, sizeof entry);
    EXPECT_EQ(entry.Length, sizeof entry);
    EXPECT_NE(entry.InfrastructureMode, 0u);
    channels[SsidOf(entry)] = entry.Channel;
  }
  EXPECT_EQ(channels, (std::map<std::string, uint32_t>{{"Zelnet Guest", 1}, {"Zelnet Workshop", 6},
                                                       {"Zelnet Office", 11}}));
  // The extended list carries the same networks, element blocks and all.
  uint32_t length = 0;
  ASSERT_EQ(adapter.QueryScanListLength(handle, buffer.data(), static_cast<uint32_t>(buffer.size()), length), 0);
  std::memcpy(&count, buffer.data(), 4);
  EXPECT_EQ(count, 3u);

  const std::string guest = "Zelnet Guest";
  ASSERT_EQ(adapter.SetSsid(handle, guest.data(), static_cast<uint32_t>(guest.size()), 0), 0);
  ASSERT_TRUE(g_received.waitFor(HLVN_EVENT_ASSOCIATED)) << zelnicd.output();
  EXPECT_EQ(adapter.GetConnectStatus(handle), 1);
  char ssid[33] = {};
  ASSERT_EQ(adapter.QuerySsid(handle, ssid, sizeof ssid), 0);
  EXPECT_EQ(std::string(ssid), guest);
  uint8_t bssid[6] = {};
  ASSERT_EQ(adapter.QueryBssid(handle, bssid, sizeof bssid), 0);
  const uint8_t lobby[6] = {0x02, 0x5A, 0x4C, 0x00, 0x00, 0x01};
  EXPECT_EQ(std::memcmp(bssid, lobby, 6), 0);

  ASSERT_EQ(adapter.SetDisassociate(handle), 0);
  ASSERT_TRUE(g_received.waitFor(HLVN_EVENT_DISCONNECTED)) << zelnicd.output();
  EXPECT_EQ(adapter.GetConnectStatus(handle), 0);
  EXPECT_EQ(adapter.CloseAdapter(handle), 0);
}

// The key records the library sets on the driver (a profile's WEP key; an ADD_KEY record
// as the supplicant's host hands it over) are wiped from every copy the library frees.
TEST_F(Library, KeyRecordsLeaveNoCopyInFreedMemory) {
  constexpr std::array<uint8_t, 13> kKey = {0x5d, 0x08, 0xb2, 0x6e, 0xf1, 0x37, 0x9a, 0xc4, 0x21, 0x7f, 0xe8, 0x43, 0x96};
  void* handle = nullptr;
  ASSERT_EQ(adapter.OpenAdapter(handle), 0);
  {
    ndis::testing::FreedMemoryWatch watch(kKey);
    EXPECT_EQ(adapter.SetWepKey(handle, 1, kKey.data(), static_cast<uint32_t>(kKey.size()), 1), 0);
    // NDIS_802_11_KEY: length, index (a group key), key length, BSSID, RSC, then the key.
    constexpr uint32_t kHeaderBytes = 32;
    const uint32_t words[3] = {kHeaderBytes + static_cast<uint32_t>(kKey.size()), 0x20000001,
                               static_cast<uint32_t>(kKey.size())};
    std::vector<uint8_t> record(kHeaderBytes + kKey.size(), 0xFF);
    std::memcpy(record.data(), words, sizeof words);
    std::copy(kKey.begin(), kKey.end(), record.begin() + kHeaderBytes);
    adapter.Set(kOidAddKey, std::move(record));  // taken or not, the record was sent
    EXPECT_EQ(watch.blocksHoldingPattern(), 0u);
  }
  EXPECT_EQ(adapter.CloseAdapter(handle), 0);
}

TEST_F(Library, HearsTheAdapterGoAndLetsZelnicdHalt) {
  void* handle = nullptr;
  ASSERT_EQ(adapter.OpenAdapter(handle), 0);
  const auto before = std::chrono::steady_clock::now();
  std::thread stopper([&] { EXPECT_EQ(zelnicd.stop(SIGTERM), 0) << zelnicd.output(); });
  EXPECT_TRUE(g_received.waitFor(HLVN_EVENT_ADAPTER_REMOVED));
  stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(20));
  uint32_t radio = 0;
  EXPECT_NE(adapter.QueryRadioControl(handle, radio), 0);  // the device is gone
  EXPECT_NE(adapter.OpenAdapter(handle), 0);  // nobody serves it now

  // zelnicd comes back: the library opens the adapter again.
  ZelnicdProcess again(zelnicd);
  ASSERT_TRUE(again.waitForDevice()) << again.output();
  ASSERT_EQ(adapter.OpenAdapter(handle), 0);
  EXPECT_EQ(adapter.QueryRadioControl(handle, radio), 0);
  EXPECT_EQ(adapter.CloseAdapter(handle), 0);
}

TEST(LibraryWithoutZelnicd, FindsNoAdapter) {
  Notifier notifier;
  DeviceAdapter adapter{notifier, plat::RegistryStore("/nonexistent-registry"), "/nonexistent/HlvnDev0"};
  void* handle = reinterpret_cast<void*>(1);
  EXPECT_NE(adapter.OpenAdapter(handle), 0);
  EXPECT_EQ(handle, nullptr);
}

}  // namespace
}  // namespace zelcon
