#include "hosts/adapterctl/guarded_adapter_control.h"

#include <gtest/gtest.h>

#include "hosts/adapterctl/testing/recording_adapter_control.h"

namespace zelcon {
namespace {

struct Guarded {
  RecordingAdapterControl* fake = new RecordingAdapterControl;
  GuardedAdapterControl lib{std::unique_ptr<IAdapterControl>(fake)};
};

// Every kind of operation, as the utility may call it with a stale handle.
void CallEveryShape(IAdapterControl& lib, void* h, std::vector<int>& results, uint32_t& value) {
  char text[40] = "untouched";
  uint8_t bytes[8] = {};
  ZELCON_SSID_SCAN scan{};
  NDIS_802_11_STATISTICS stats{};
  results = {lib.GetConnectStatus(h),
             lib.QueryDhcp9x(h),
             lib.Scan(h),
             lib.QueryNetworkMode(h, value),
             lib.SetAuthMode(h, 4),
             lib.QuerySsid(h, text, sizeof text),
             lib.GetMacAddress(h, bytes, 6),
             lib.QueryMacRegister(h, 1, value),
             lib.SetBbRegister(h, 0, 128),
             lib.SsidScan(h, &scan),
             lib.QueryStatistics(h, &stats),
             lib.SetSsid(h, "x", 1, 0),
             lib.SetWepKey(h, 1, bytes, 5, 1),
             lib.SetWPAInformation(h, 1, 2, 2, bytes, "x"),
             lib.SetProfileInUse(h, " ", 1),
             lib.QueryScanListLength(h, bytes, sizeof bytes, value),
             lib.CloseAdapter(h)};
  EXPECT_STREQ(text, "untouched");
}

TEST(GuardedAdapterControl, NullClosedAndForeignHandlesNeverReachTheBackend) {
  Guarded g;
  void* h = nullptr;
  g.lib.OpenAdapter(h);
  ASSERT_EQ(h, RecordingAdapterControl::kHandle);
  g.lib.CloseAdapter(h);
  g.fake->ClearCalls();

  const std::vector<int> expected = {0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, -1, 1};
  for (void* stale : {static_cast<void*>(nullptr), h, reinterpret_cast<void*>(0x1234)}) {
    std::vector<int> results;
    uint32_t value = 77;
    CallEveryShape(g.lib, stale, results, value);
    EXPECT_EQ(results, expected);
    EXPECT_EQ(value, 77u);
  }
  EXPECT_TRUE(g.fake->CallTexts().empty());
}

TEST(GuardedAdapterControl, OpenHandleReachesTheBackendAndCallsWithoutHandleAlwaysDo) {
  Guarded g;
  void* h = nullptr;
  g.lib.OpenAdapter(h);
  g.fake->SetDword("QueryNetworkMode", 1);
  uint32_t mode = 0;
  EXPECT_EQ(g.lib.QueryNetworkMode(h, mode), 0);
  EXPECT_EQ(mode, 1u);
  g.lib.WPACreateIdentityPEAP("user", "dom", "pw");
  g.lib.WPAPortDown();
  EXPECT_EQ(g.lib.CloseAdapter(h), 0);
  g.lib.WPAPortDown();
  EXPECT_EQ(g.fake->CallTexts(),
            (std::vector<std::string>{"OpenAdapter()", "QueryNetworkMode()",
                                      "WPACreateIdentityPEAP(\"user\", \"dom\", \"pw\")",
                                      "WPAPortDown()", "CloseAdapter()", "WPAPortDown()"}));
}

TEST(GuardedAdapterControl, NoAdapterGivesNoUsableHandle) {
  Guarded g;
  g.fake->adapter = nullptr;
  void* h = reinterpret_cast<void*>(1);
  g.lib.OpenAdapter(h);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(g.lib.Scan(nullptr), 1);
}

}  // namespace
}  // namespace zelcon
