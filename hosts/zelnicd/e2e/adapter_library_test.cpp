// The adapter-control library's real backend against a running zelnicd: open, the adapter's
// facts, the radio, and the removal notice when zelnicd stops. (Scanning and connecting need
// the station's MAC management, which the driver does not have yet.)
#include <gtest/gtest.h>
#include <signal.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

#include "hosts/adapterctl/device/device_adapter.h"
#include "hosts/zelnicd/e2e/zelnicd_process.h"

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
    notifier.SetPoster(&Collect);
    adapter.Initialize(reinterpret_cast<void*>(1));
  }
  ZelnicdProcess zelnicd;
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
