// The product driver over the simulated chip in virtual time: its start, its halt, and the
// failures that end a start, each leaving nothing behind.
#include <gtest/gtest.h>

#include "driver/core/link_monitor.h"
#include "driver/entry/testing/driver_harness.h"
#include "driver/hal/firmware_commands.h"
#include "driver/hal/hal_adapter.h"
#include "platform/ndis/fault_injection.h"
#include "platform/ndis/ntddndis.h"

namespace zelnic {
namespace {

using testing::DriverHarness;

TEST(DriverStart, StartsDisconnectedWithTheChipsAddressAndHaltsLeavingNothing) {
  DriverHarness h;
  ASSERT_EQ(h.start(), NDIS_STATUS_SUCCESS);
  CoreAdapter* core = h.core();
  ASSERT_NE(core, nullptr);
  const hal::MacAddress chipMac = h.chip.identity().mac;
  EXPECT_EQ(core->StationAddress, chipMac);
  EXPECT_EQ(core->MlmeState, core::kMlmeIdle);
  EXPECT_EQ(core->WirelessMode, 255u);
  EXPECT_FALSE(core::IsMediaConnected(core));
  const auto status = h.host->takeStatus();
  ASSERT_FALSE(status.empty());
  EXPECT_EQ(status.front().status, NDIS_STATUS_MEDIA_DISCONNECT);
  // The address is the chip's own: nothing to tell the firmware.
  for (const auto& command : h.chip.commands()) EXPECT_NE(command.code, hal::HLVN_FW_SET_MAC_ADDRESS);

  // The link monitor runs every 100 ms from the start.
  const std::uint32_t ticks = core::LinkMonitorTicks();
  h.advance(std::chrono::milliseconds(1000));
  EXPECT_EQ(core::LinkMonitorTicks() - ticks, 10u);

  h.halt();
  EXPECT_TRUE(h.leakFree()) << h.leaks();
}

TEST(DriverStart, ASurpriseRemovalTearsTheDriverDownLeavingNothing) {
  DriverHarness h;
  ASSERT_EQ(h.start(), NDIS_STATUS_SUCCESS);
  h.advance(std::chrono::milliseconds(300));
  h.host->surpriseRemove();
  EXPECT_FALSE(h.host->running());
  EXPECT_TRUE(h.leakFree()) << h.leaks();
}

TEST(DriverStart, ANetworkAddressFromTheRegistryIsTheStationsAndTheFirmwaresAddress) {
  DriverHarness h(testing::Parameters{{"NetworkAddress", "02-11-22-33-44-55"}});
  ASSERT_EQ(h.start(), NDIS_STATUS_SUCCESS);
  const hal::MacAddress wanted = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
  EXPECT_EQ(h.core()->StationAddress, wanted);
  EXPECT_EQ(h.hal()->currentMac, wanted);
  h.advance(std::chrono::milliseconds(50));
  bool sent = false;
  for (const auto& command : h.chip.commands()) {
    if (command.code != hal::HLVN_FW_SET_MAC_ADDRESS) continue;
    sent = true;
    ASSERT_GE(command.record.size(), 14u);
    EXPECT_TRUE(std::equal(wanted.begin(), wanted.end(), command.record.begin() + 8));
  }
  EXPECT_TRUE(sent);
}

TEST(DriverStart, WithTheRadioOffTheLinkMonitorStaysIdle) {
  DriverHarness h(testing::Parameters{{"RadioOn", "0"}});
  ASSERT_EQ(h.start(), NDIS_STATUS_SUCCESS);
  const std::uint32_t ticks = core::LinkMonitorTicks();
  h.advance(std::chrono::milliseconds(500));
  EXPECT_EQ(core::LinkMonitorTicks(), ticks);
}

TEST(DriverStart, AChipThatFailsEndsTheStartAndLeavesNothing) {
  struct Case {
    const char* name;
    void (*knob)(simchip::ChipKnobs&);
  };
  const Case cases[] = {
      {"boot block never acknowledged", [](simchip::ChipKnobs& k) { k.bootNeverAcknowledged = true; }},
      {"firmware never running", [](simchip::ChipKnobs& k) { k.neverRunning = true; }},
      {"image block refused", [](simchip::ChipKnobs& k) { k.refuseBlock = 7; }},
      {"hardware address differs", [](simchip::ChipKnobs& k) { k.reportWrongMac = true; }},
      {"one memory window", [](simchip::ChipKnobs& k) { k.memoryWindows = 1; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    simchip::ChipKnobs knobs;
    c.knob(knobs);
    DriverHarness h({}, knobs);
    EXPECT_NE(h.start(), NDIS_STATUS_SUCCESS);
    EXPECT_FALSE(h.host->running());
    EXPECT_TRUE(h.leakFree()) << h.leaks();
  }
}

// Every allocation of the start, refused in turn: the start fails and leaves nothing.
TEST(DriverStart, EveryRefusedAllocationEndsTheStartCleanly) {
  for (std::uint64_t n = 1;; ++n) {
    SCOPED_TRACE(n);
    DriverHarness h;
    h.host->setFailureRule(ndis::FailNth(ndis::RequestKind::Memory, n));
    if (h.start() == NDIS_STATUS_SUCCESS) {
      EXPECT_GT(n, 5u);  // the walk reached past the core's own allocations
      break;
    }
    EXPECT_TRUE(h.leakFree()) << h.leaks();
    ASSERT_LT(n, 200u);
  }
}

TEST(DriverRequests, SendsAreRefusedWhileDisconnected) {
  DriverHarness h;
  ASSERT_EQ(h.start(), NDIS_STATUS_SUCCESS);
  const auto connected = h.host->query(OID_GEN_MEDIA_CONNECT_STATUS, 4);
  EXPECT_EQ(connected.status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(connected.data[0], 1);  // disconnected

  ndis::EthFrame frame(60, 0);
  h.host->send({frame});
  const auto completions = h.host->takeSendCompletions();
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0].status, NDIS_STATUS_FAILURE);
}

}  // namespace
}  // namespace zelnic
