// The command queue against the running simulated firmware: order, one command in the chip,
// exhaustion of the buffers, responses and their effects.
#include "driver/hal/firmware_commands.h"

#include <gtest/gtest.h>

#include "driver/hal/testing/hal_harness.h"

namespace zelnic::hal {
namespace {

using testing::HalHarness;
using namespace std::chrono_literals;

class CommandQueueTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(h.start(), NDIS_STATUS_SUCCESS);
    h.scheduler.runFor(20ms);
    sentAtStart = h.chip.commands().size();
  }
  void TearDown() override { EXPECT_TRUE(h.chip.protocolFaults().empty()); }

  std::vector<std::uint16_t> codesSinceStart() const {
    std::vector<std::uint16_t> codes;
    for (std::size_t i = sentAtStart; i < h.chip.commands().size(); ++i)
      codes.push_back(h.chip.commands()[i].code);
    return codes;
  }
  std::uint32_t freeBuffers() {
    std::uint32_t count = 0;
    h.run(DISPATCH_LEVEL, [&] {
      OsAcquireLock(h.hal()->os, &h.hal()->commands.lock);
      count = h.hal()->commands.freeCount;
      OsReleaseLock(h.hal()->os, &h.hal()->commands.lock);
    });
    return count;
  }

  HalHarness h;
  std::size_t sentAtStart = 0;
};

TEST_F(CommandQueueTest, BackToBackCommandsReachTheChipInOrderOneAtATime) {
  h.run(DISPATCH_LEVEL, [&] {
    EXPECT_EQ(SendGetStatistics(h.hal()), NDIS_STATUS_SUCCESS);
    EXPECT_EQ(SendSetLedPattern(h.hal(), 0xFF0001), NDIS_STATUS_SUCCESS);
    EXPECT_EQ(SendSetChannel(h.hal(), 6, nullptr), NDIS_STATUS_SUCCESS);
  });
  EXPECT_EQ(codesSinceStart(), (std::vector<std::uint16_t>{0x0014}));  // the rest wait
  h.scheduler.runFor(150us);
  EXPECT_EQ(codesSinceStart().size(), 1u);
  h.scheduler.runFor(10ms);
  EXPECT_EQ(codesSinceStart(), (std::vector<std::uint16_t>{0x0014, 0x011C, 0x010A}));
  EXPECT_EQ(h.chip.firmware().settings().ledPattern, 0xFF0001u);
  EXPECT_EQ(h.chip.firmware().settings().channel, 6);
  EXPECT_EQ(freeBuffers(), kCommandBuffers);
}

TEST_F(CommandQueueTest, ResponsesReachTheCore) {
  h.chip.counters().failed = 9;
  h.run(DISPATCH_LEVEL, [&] {
    SendSetChannel(h.hal(), 3, [](CoreAdapter* c) { testing::Observed(c).completions.push_back("channel"); });
    SendScanStart(h.hal(), [](CoreAdapter* c) { testing::Observed(c).completions.push_back("scan start"); });
    SendGetStatistics(h.hal());
    SendMeasure0118(h.hal());
    SendMeasure0119(h.hal(), 3);  // a start is acknowledged without a result
    SendMeasure0119(h.hal(), 0);  // the stop's response carries it
    SendMeasure011A(h.hal(), 1);
    SendMeasure011A(h.hal(), 0);
    SendSetRts(h.hal());  // its response is in no table: nothing happens, the buffer comes back
  });
  h.scheduler.runFor(20ms);
  EXPECT_EQ(h.core.completions, (std::vector<std::string>{"channel", "scan start"}));
  ASSERT_EQ(h.core.statistics.size(), 44u);
  EXPECT_EQ(h.core.statistics[20], 9);  // the failed count
  EXPECT_NE(h.core.ccxWord, 0u);  // the chip's clock
  EXPECT_EQ(h.core.measurement.size(), 1u);  // the last measurement was 0x011A's one word
  EXPECT_EQ(h.core.firmwareEvents, 2);
  EXPECT_EQ(codesSinceStart().size(), 9u);
  EXPECT_EQ(freeBuffers(), kCommandBuffers);
}

TEST_F(CommandQueueTest, AllBuffersInUseMakeASendWaitFiveSecondsAndFail) {
  NDIS_STATUS last = NDIS_STATUS_SUCCESS;
  ndis::Micros waited{};
  h.run(DISPATCH_LEVEL, [&] {
    DisableCommandQueue(h.hal());
    for (std::uint32_t i = 0; i < kCommandBuffers; ++i) ASSERT_EQ(SendGetStatistics(h.hal()), NDIS_STATUS_SUCCESS);
    const auto before = h.scheduler.now();
    last = SendGetStatistics(h.hal());
    waited = h.scheduler.now() - before;
  });
  EXPECT_EQ(last, NDIS_STATUS_RESOURCES);
  EXPECT_GE(waited, 5s);
  EXPECT_LT(waited, 5s + 10ms);
  EXPECT_EQ(freeBuffers(), 0u);
  h.run(DISPATCH_LEVEL, [&] { EnableCommandQueue(h.hal()); });
  h.scheduler.runFor(200ms);
  EXPECT_EQ(codesSinceStart().size(), kCommandBuffers);
  EXPECT_EQ(freeBuffers(), kCommandBuffers);
}

TEST_F(CommandQueueTest, ACommandInterruptBeforeTheAnswerKeepsTheCommandInTheChip) {
  NDIS_STATUS early = NDIS_STATUS_SUCCESS;
  h.run(DISPATCH_LEVEL, [&] {
    EXPECT_EQ(ProcessFirmwareResponse(h.hal()), NDIS_STATUS_NOT_ACCEPTED);  // nothing in flight
    SendGetStatistics(h.hal());
    SendSetRts(h.hal());
    early = ProcessFirmwareResponse(h.hal());  // as a stray cause 0x04 would
  });
  EXPECT_EQ(early, NDIS_STATUS_NOT_ACCEPTED);
  EXPECT_EQ(codesSinceStart().size(), 1u);  // no second doorbell while the chip holds one
  h.scheduler.runFor(5ms);
  EXPECT_EQ(codesSinceStart(), (std::vector<std::uint16_t>{0x0014, 0x0113}));
}

TEST_F(CommandQueueTest, CallerRecordsMustFitTheirCommand) {
  std::vector<std::uint8_t> tooLong(513, 0);
  std::vector<std::uint8_t> ibss(60, 0);
  ibss[0] = 0x00, ibss[1] = 0x01, ibss[2] = 60;
  ibss[8] = 36, ibss[10] = 0x80, ibss[10 + 32] = 100;  // a 36-byte beacon template, interval 100
  h.run(DISPATCH_LEVEL, [&] {
    EXPECT_EQ(SendIbssStart(h.hal(), tooLong, nullptr), NDIS_STATUS_INVALID_LENGTH);
    EXPECT_EQ(SendSetAssociation(h.hal(), std::vector<std::uint8_t>(24, 1), nullptr), NDIS_STATUS_INVALID_LENGTH);
    EXPECT_EQ(SendIbssStart(h.hal(), ibss, nullptr), NDIS_STATUS_SUCCESS);
  });
  h.scheduler.runFor(5ms);
  ASSERT_EQ(codesSinceStart(), (std::vector<std::uint16_t>{0x0100}));
  EXPECT_EQ(h.chip.commands().back().record.size(), 60u);
  EXPECT_EQ(freeBuffers(), kCommandBuffers);
}

TEST_F(CommandQueueTest, RecordLayouts) {
  struct Case {
    const char* name;
    std::function<NDIS_STATUS(HalAdapter*)> send;
    std::vector<std::uint8_t> expected;  // the whole record as the chip read it
  };
  const MacAddress bssid{1, 2, 3, 4, 5, 6};
  const std::uint8_t state[6] = {0x10, 0x20, 0x30, 0x40, 0x50, 0x60};
  const Case cases[] = {
      {"SCAN_END", [&](HalAdapter* hal) { return SendScanEnd(hal, 1, bssid, nullptr); },
       {0x08, 0x01, 15, 0, 0, 0, 0, 0, 1, 1, 2, 3, 4, 5, 6}},
      {"SET_CHANNEL", [](HalAdapter* hal) { return SendSetChannel(hal, 11, nullptr); },
       {0x0A, 0x01, 11, 0, 0, 0, 0, 0, 0, 0, 11}},
      {"CMD_0115", [&](HalAdapter* hal) { return SendCmd0115(hal, 2, state); },
       {0x15, 0x01, 16, 0, 0, 0, 0, 0, 2, 0, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60}},
      {"SET_MODE", [](HalAdapter* hal) { return SendSetMode(hal, 1, 2, 3); },
       {0x16, 0x01, 11, 0, 0, 0, 0, 0, 1, 2, 3}},
      {"MEASURE_0119", [](HalAdapter* hal) { return SendMeasure0119(hal, 2); },
       [] {
         std::vector<std::uint8_t> r(44, 0);
         r[0] = 0x19, r[1] = 0x01, r[2] = 44, r[10] = 1;
         return r;
       }()},
      {"SET_MAC_ADDRESS", [&](HalAdapter* hal) { return SendSetMacAddress(hal, bssid); },
       {0x02, 0x02, 14, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6}},
      {"TX_POWER without a level", [](HalAdapter* hal) { return SendTxPower(hal, 0, 2); },
       [] {
         std::vector<std::uint8_t> r(32, 0);
         r[0] = 0x1E, r[2] = 32;
         return r;
       }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    h.run(DISPATCH_LEVEL, [&] { EXPECT_EQ(c.send(h.hal()), NDIS_STATUS_SUCCESS); });
    h.scheduler.runFor(2ms);
    EXPECT_EQ(h.chip.commands().back().record, c.expected);
  }
}

TEST(CommandCodes, PreambleAndPowerLevels) {
  EXPECT_EQ(PreambleCode(2), 3);
  EXPECT_EQ(PreambleCode(3), 1);
  EXPECT_EQ(PreambleCode(1), 5);
  EXPECT_EQ(TxPowerCode(1), 5);
  EXPECT_EQ(TxPowerCode(2), 10);
  EXPECT_EQ(TxPowerCode(3), 15);
  EXPECT_EQ(TxPowerCode(4), 128);
}

}  // namespace
}  // namespace zelnic::hal
