// Interrupt claim and dispatch, the chip-gone path, and the small services.
#include <gtest/gtest.h>

#include "driver/hal/firmware_commands.h"
#include "driver/hal/hal_adapter.h"
#include "driver/hal/hal_registers.h"
#include "driver/hal/testing/hal_harness.h"
#include "sim/chip/chip_registers.h"

namespace zelnic::hal {
namespace {

using testing::HalHarness;
using namespace std::chrono_literals;

class InterruptTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(h.start(), NDIS_STATUS_SUCCESS);
    h.scheduler.runFor(20ms);
  }
  // Calls the ISR directly, as NDIS would at device level.
  bool isr() {
    ULONG claimed = 0;
    h.run(DIRQL_LEVEL, [&] { claimed = HalIsr(h.hal()); });
    return claimed == 1;
  }
  void dpc() {
    h.run(DISPATCH_LEVEL, [&] { HalInterruptDpc(h.hal()); });
  }
  HalHarness h;
};

TEST_F(InterruptTest, ClaimedOnlyWhenTheCauseHasAnInterruptBit) {
  h.chip.writeRegister(1, simchip::kRegMask, ndis::AccessWidth::U32, 0);  // keep the runtime out
  struct Case {
    const char* name;
    std::uint32_t cause;
    bool claimed;
  };
  for (const Case c : {Case{"nothing", 0, false}, Case{"0x80 only", 0x80, false},
                       Case{"command", 0x04, true}, Case{"radio on", 0x40, true}}) {
    SCOPED_TRACE(c.name);
    h.hal()->pendingCauses = 0;
    h.chip.raise(c.cause);
    EXPECT_EQ(isr(), c.claimed);
    EXPECT_EQ(h.hal()->pendingCauses & 0x7F, c.cause & 0x7F);
    EXPECT_EQ(h.chip.cause() & 0x7F, 0u);  // acknowledged either way
    h.chip.writeRegister(1, simchip::kRegCause, ndis::AccessWidth::U32, 0);
  }
  h.chip.raise(0x04);
  EXPECT_TRUE(isr());
  EXPECT_EQ(h.chip.mask(), 0u);  // claimed: everything masked until the enable handler

  h.hal()->interruptsAllowed = 0;
  h.chip.writeRegister(1, simchip::kRegMask, ndis::AccessWidth::U32, 0x7F);
  h.chip.raise(0x04);
  EXPECT_FALSE(isr());
  EXPECT_EQ(h.chip.mask(), 0u);
  h.hal()->interruptsAllowed = 1;
  h.hal()->pendingCauses = 0;
}

TEST_F(InterruptTest, NotClaimedAfterTheFirmwareDied) {
  h.chip.writeRegister(1, simchip::kRegMask, ndis::AccessWidth::U32, 0);
  h.chip.crash();  // clears the alive word
  h.chip.raise(0x04);
  EXPECT_FALSE(isr());
  EXPECT_EQ(h.chip.cause(), 0x04u);  // not even acknowledged
}

TEST_F(InterruptTest, NotClaimedWhenTheCauseReadsAllOnes) {
  h.chip.surpriseRemoved();
  EXPECT_FALSE(isr());
}

TEST_F(InterruptTest, RadioSwitchThroughTheInterruptPath) {
  h.chip.pulseRadioSwitch(false);
  h.scheduler.runFor(1ms);
  EXPECT_EQ(h.core.radioOn, 2u);
  h.chip.pulseRadioSwitch(true);
  h.scheduler.runFor(1ms);
  EXPECT_EQ(h.core.radioOn, 1u);
  EXPECT_EQ(h.core.events, (std::vector<std::uint32_t>{9, 8}));
  EXPECT_EQ(h.host->unclaimedInterrupts(), 0u);
  EXPECT_EQ(h.chip.mask(), 0x7Fu);  // the enable handler unmasked again
}

TEST_F(InterruptTest, CausesTheHandlerDoesNotServeDoNotKeepItLooping) {
  h.hal()->pendingCauses = 0x90;
  dpc();  // returns: nothing to serve
  EXPECT_EQ(h.hal()->pendingCauses, 0x90u);
  EXPECT_TRUE(h.core.events.empty());
  h.hal()->pendingCauses = 0;
}

TEST_F(InterruptTest, AllOnesFromTheTransmitRingRegisterTakesTheChipGonePath) {
  h.run(DISPATCH_LEVEL, [&] { SendGetStatistics(h.hal()); });
  h.chip.surpriseRemoved();
  h.hal()->pendingCauses = 0x04;
  dpc();
  EXPECT_EQ(h.hal()->removed, 1u);
  EXPECT_EQ(h.core.events, (std::vector<std::uint32_t>{2}));
  EXPECT_EQ(h.core.disconnects, 1);
  EXPECT_EQ(h.hal()->pendingCauses, 0x04u);  // the loop stopped before serving it
  BOOLEAN gone = FALSE;
  h.run(DISPATCH_LEVEL, [&] { gone = IsChipGone(h.hal()); });
  EXPECT_TRUE(gone);
}

TEST_F(InterruptTest, SurpriseRemovalLeavesNothingBehind) {
  h.host->surpriseRemove();
  EXPECT_TRUE(h.chip.removed());
  EXPECT_TRUE(h.leakFree()) << h.leaks();
  EXPECT_EQ(TheHalAdapter(), nullptr);
}

TEST_F(InterruptTest, ChipPresentIsNotGone) {
  BOOLEAN gone = TRUE;
  h.run(DISPATCH_LEVEL, [&] { gone = IsChipGone(h.hal()); });
  EXPECT_FALSE(gone);
  EXPECT_TRUE(h.core.events.empty());
  EXPECT_EQ(h.core.disconnects, 0);
}

TEST_F(InterruptTest, EnableAndDisable) {
  h.run(DIRQL_LEVEL, [&] { DisableInterrupts(h.hal()); });
  EXPECT_EQ(h.chip.mask(), 0u);
  h.chip.pulseRadioSwitch(false);
  h.scheduler.runFor(1ms);
  EXPECT_EQ(h.core.radioOn, 1u);  // masked: nothing happened
  h.run(DIRQL_LEVEL, [&] { EnableInterrupts(h.hal()); });
  h.scheduler.runFor(1ms);
  EXPECT_EQ(h.core.radioOn, 2u);
}

TEST_F(InterruptTest, LedPatternsThatLeaveTheLedAloneSendNothing) {
  const auto before = h.chip.commands().size();
  h.run(DISPATCH_LEVEL, [&] {
    HalOps(h.hal()).SetLed(h.hal(), 0xFD0002);
    HalOps(h.hal()).SetLed(h.hal(), 0xFF0105);
  });
  h.scheduler.runFor(2ms);
  ASSERT_EQ(h.chip.commands().size(), before + 1);
  EXPECT_EQ(h.chip.commands().back().code, 0x011C);
  EXPECT_EQ(h.chip.firmware().settings().ledPattern, 0xFF0105u);
  EXPECT_EQ(h.hal()->ledPattern, 0xFF0105u);
}

TEST_F(InterruptTest, ChannelActivityAndOperationsTable) {
  h.chip.setChannelActivity(33);
  std::uint8_t activity = 0;
  h.run(DISPATCH_LEVEL, [&] { activity = ReadChannelActivity(h.hal()); });
  EXPECT_EQ(activity, 33);

  const HalAdapterOps& ops = HalOps(h.hal());
  EXPECT_EQ(ops.Init(h.hal()), NDIS_STATUS_SUCCESS);
  EXPECT_EQ(ops.Reset(h.hal()), NDIS_STATUS_SUCCESS);
  EXPECT_FALSE(ops.HangCheck(h.hal()));
  EXPECT_EQ(ops.Isr, &HalIsr);
  EXPECT_EQ(ops.InterruptDpc, &HalInterruptDpc);
  EXPECT_EQ(ops.Transmit, &HalTransmit);
  EXPECT_EQ(ops.ReturnReceiveBuffer, &ReturnReceiveBuffer);
  // No slot is ever null: a caller through the table never jumps to address 0.
  const auto* slots = reinterpret_cast<void (*const*)()>(&ops);
  for (std::size_t i = 0; i < sizeof(HalAdapterOps) / sizeof(slots[0]); ++i) EXPECT_NE(slots[i], nullptr) << i;
  EXPECT_EQ(h.hal()->linkSpeed, 540000u);
  EXPECT_EQ(h.hal()->signalThreshold, -200);
}

TEST(IbssBssid, LocallyAdministeredIndividualAndNeverTheStationAddress) {
  const MacAddress station{0x00, 0x1E, 0x4D, 0x2D, 0x17, 0x01};
  const MacAddress b = IbssBssidFrom(0x0000112233445566ull, station);
  EXPECT_EQ(b[0] & 3, 2);
  EXPECT_EQ(b[1], 0x55 ^ 0x1E);
  EXPECT_EQ(b[5], 0x11 ^ 0x01);
  // A clock whose low 48 bits are zero would hand back the station's own address.
  const MacAddress local{0x02, 0x00, 0x00, 0x00, 0x00, 0x07};
  const MacAddress own = IbssBssidFrom(0xABCD000000000000ull, local);
  EXPECT_NE(own, local);
  EXPECT_EQ(own[0], 0x02);
}

}  // namespace
}  // namespace zelnic::hal
