#include "sim/chip/sim_chip.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/ndis/device_test_bus.h"
#include "sim/chip/chip_registers.h"
#include "sim/chip/testing/chip_harness.h"

namespace simchip {
namespace {

using ndis::AccessWidth;
using testing::ChipHarness;
using testing::Record;
using namespace std::chrono_literals;

TEST(SimChip, DownloadsBootBlockAndImageThenRuns) {
  ChipHarness h;
  EXPECT_EQ(h.chip.firmwareState(), FirmwareState::Reset);
  ASSERT_TRUE(h.download()) << h.chip.lastRefusal();
  EXPECT_EQ(h.chip.firmwareState(), FirmwareState::Running);
  EXPECT_EQ(h.chip.downloadedBlocks(), 479u);
  EXPECT_EQ(h.chip.firmware().release(), 0x01020304u);  // from the image that was loaded
  EXPECT_TRUE(h.chip.protocolFaults().empty());
  EXPECT_EQ(h.bus.dmaFaults(), 0u);
}

TEST(SimChip, StepLogNamesEachStepOnTheWayUp) {
  ChipHarness h;
  std::vector<std::string> steps;
  h.chip.setStepLog([&](const std::string& line) { steps.push_back(line); });
  ASSERT_TRUE(h.download());
  h.command(Record(0x0003, 44));
  h.scheduler.runFor(2ms);
  h.command(Record(0x001C, 14));
  h.scheduler.runFor(2ms);
  h.write(1, kRegDoorbell, kDoorbellStop);
  EXPECT_EQ(steps, (std::vector<std::string>{
                       "boot block accepted",
                       "firmware image accepted: 479 blocks of 256 bytes, release 1.2.3.4",
                       "hardware specification: MAC 00-1E-4D-2D-17-01, region 0x10, firmware release 1.2.3.4",
                       "command RADIO_CONTROL answered",
                       "firmware stopped",
                   }));
}

TEST(SimChip, DownloadFailuresLeaveTheFirmwareStopped) {
  struct Case {
    const char* name;
    std::function<void(ChipHarness&)> arrange;
    unsigned acceptedBlocks;  // how far the download gets
    bool hostFault;           // the chip saw the host break the protocol
  };
  const Case cases[] = {
      {"boot block never acknowledged", [](ChipHarness& h) { h.chip.knobs().bootNeverAcknowledged = true; }, 0, false},
      {"corrupt boot block", [](ChipHarness& h) { h.boot[100] ^= 1; }, 0, true},
      {"image for other hardware",
       [](ChipHarness& h) { h.image = BuildImage(kImageMagic, 1, 0x9999, kFirmwareImageSize); }, 479, true},
      {"corrupt image", [](ChipHarness& h) { h.image[50000] ^= 0x80; }, 479, true},
      {"block 7 refused", [](ChipHarness& h) { h.chip.knobs().refuseBlock = 7; }, 7, false},
      {"never running", [](ChipHarness& h) { h.chip.knobs().neverRunning = true; }, 479, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ChipHarness h;
    c.arrange(h);
    if (h.loadBoot(h.boot) && h.sendImage(h.image, 479) == 479) {
      EXPECT_FALSE(h.endImage());
    }
    EXPECT_NE(h.chip.firmwareState(), FirmwareState::Running);
    EXPECT_EQ(h.chip.downloadedBlocks(), c.acceptedBlocks);
    EXPECT_FALSE(h.chip.lastRefusal().empty());
    EXPECT_EQ(h.chip.protocolFaults().empty(), !c.hostFault);
  }
}

TEST(SimChip, ImageMustBeCompleteAndNoLonger) {
  ChipHarness h;
  ASSERT_TRUE(h.loadBoot(h.boot));
  ASSERT_EQ(h.sendImage(h.image, 478), 478u);
  EXPECT_FALSE(h.endImage());  // one block short
  EXPECT_EQ(h.chip.lastRefusal(), "image refused: wrong length");

  ChipHarness extra;
  ASSERT_TRUE(extra.loadBoot(extra.boot));
  ASSERT_EQ(extra.sendImage(extra.image, 479), 479u);
  extra.putBlock(256, extra.image.data());
  extra.kick(extra.block.physical);
  EXPECT_NE(extra.awaitMailbox(kMailboxBlockAccepted), kMailboxBlockAccepted);
  ASSERT_EQ(extra.chip.protocolFaults().size(), 1u);
}

TEST(SimChip, BlockKickBeforeTheBootBlockIsAHostFault) {
  ChipHarness h;
  h.putBlock(256, h.image.data());
  h.kick(h.block.physical);
  h.scheduler.runFor(1ms);
  EXPECT_EQ(h.read(1, kRegStatus), 0u);
  EXPECT_EQ(h.chip.protocolFaults().size(), 1u);
}

TEST(SimChip, MailboxAnswersOnTheConfiguredPoll) {
  ChipHarness h;
  h.chip.knobs().mailboxAnswerAfterPolls = 5;
  h.write(0, kBootMailbox, kBootMailboxLoad);
  for (std::uint32_t i = 0; i < 64; ++i) {
    std::uint32_t word;
    std::memcpy(&word, &h.boot[4 * i], 4);
    h.write(0, kBootArea + 4 * i, word);
  }
  h.kick(kBootKickAddress);  // its last status read is poll 1
  h.scheduler.runFor(10ms);  // time alone does not answer
  EXPECT_EQ(h.read(1, kRegStatus), 0u);
  EXPECT_EQ(h.read(1, kRegStatus), 0u);
  EXPECT_EQ(h.read(1, kRegStatus), 0u);
  EXPECT_EQ(h.read(1, kRegStatus), kMailboxBlockAccepted);  // poll 5
}

TEST(SimChip, HardwareSpecificationReplyAndInterrupt) {
  ChipHarness h;
  ASSERT_TRUE(h.download());
  h.write(1, kRegMask, kCauseAll);
  auto record = Record(0x0003, 44);
  std::memset(&record[14], 0xFF, 6);
  const std::uint32_t alive = 0x00123450;
  std::memcpy(&record[40], &alive, 4);
  h.command(record);
  h.scheduler.runFor(500us);
  EXPECT_FALSE(h.bus.interruptLine());  // the reply takes 1 ms
  h.scheduler.runFor(600us);
  EXPECT_TRUE(h.bus.interruptLine());
  EXPECT_EQ(h.chip.cause(), kCauseCommand);
  EXPECT_EQ(h.u16At(0), 0x8003);
  EXPECT_EQ(h.u16At(8), kDefaultHardwareVersion);
  EXPECT_EQ(std::memcmp(h.block.virtualAddress + 14, h.chip.identity().mac.data(), 6), 0);
  EXPECT_EQ(h.u16At(20), 0x10);
  EXPECT_EQ(h.u32At(24), 0x01020304u);
  EXPECT_EQ(h.u32At(28), kTxRingRegister);
  EXPECT_EQ(h.u32At(32), kRxWritePointerRegister);
  EXPECT_EQ(h.u32At(36), kRxReadPointerRegister);
  EXPECT_EQ(h.chip.firmware().aliveWordAddress(), alive);
  // The MAC the EEPROM holds sits at 0xA528 of window 1.
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(h.chip.readRegister(1, kRegMacAddress + i, AccessWidth::U8), h.chip.identity().mac[i]);

  // Acknowledging as a driver does: write the complement of what was read.
  h.write(1, kRegCause, ~h.read(1, kRegCause) & kCauseAll);
  EXPECT_EQ(h.chip.cause(), 0u);
  EXPECT_FALSE(h.bus.interruptLine());
}

TEST(SimChip, WrongMacKnobChangesOnlyTheReply) {
  ChipHarness h;
  h.chip.knobs().reportWrongMac = true;
  ASSERT_TRUE(h.download());
  h.command(Record(0x0003, 44));
  h.scheduler.runFor(2ms);
  EXPECT_NE(std::memcmp(h.block.virtualAddress + 14, h.chip.identity().mac.data(), 6), 0);
  EXPECT_EQ(h.chip.readRegister(1, kRegMacAddress, AccessWidth::U8), h.chip.identity().mac[0]);
}

TEST(SimChip, OneCommandInTheChipAtATime) {
  ChipHarness h;
  ASSERT_TRUE(h.download());
  h.command(Record(0x001C, 14));
  h.command(Record(0x0020, 12));  // before the first one's response
  ASSERT_EQ(h.chip.protocolFaults().size(), 1u);
  EXPECT_EQ(h.chip.commands().size(), 1u);
  h.scheduler.runFor(1ms);
  h.command(Record(0x0020, 12));  // after it: fine
  h.scheduler.runFor(1ms);
  EXPECT_EQ(h.chip.commands().size(), 2u);
  EXPECT_EQ(h.chip.protocolFaults().size(), 1u);
}

TEST(SimChip, CommandsChangeTheFirmwareSettings) {
  ChipHarness h;
  ASSERT_TRUE(h.download());
  auto run = [&](std::vector<std::uint8_t> record) {
    h.command(std::move(record));
    h.scheduler.runFor(1ms);
  };
  auto radio = Record(0x001C, 14);
  radio[8] = 1, radio[10] = 3, radio[12] = 1;
  run(radio);
  auto antenna = Record(0x0020, 12);
  antenna[8] = 2, antenna[10] = 1;
  run(antenna);
  auto rts = Record(0x0113, 12);
  rts[8] = 0x2A, rts[9] = 0x09;
  run(rts);
  auto led = Record(0x011C, 12);
  led[8] = 0x01, led[10] = 0xFF;
  run(led);
  auto channel = Record(0x010A, 11);
  channel[10] = 6;
  run(channel);
  const auto& s = h.chip.firmware().settings();
  EXPECT_TRUE(s.radioOn);
  EXPECT_EQ(s.preambleCode, 3);
  EXPECT_EQ(s.txAntenna, 1);
  EXPECT_EQ(s.rtsThreshold, 2346u);
  EXPECT_EQ(s.ledPattern, 0xFF0001u);
  EXPECT_EQ(s.channel, 6);
  EXPECT_EQ(h.chip.commands().size(), 5u);
  EXPECT_TRUE(h.chip.protocolFaults().empty());
}

TEST(SimChip, WithoutItsCommandLogTheChipStillAnswersEveryCommand) {
  ChipHarness h;
  ASSERT_TRUE(h.download());
  h.chip.logCommands(false);
  const std::size_t before = h.chip.commands().size();
  auto led = Record(0x011C, 12);
  led[8] = 0x01, led[10] = 0xFF;
  h.command(led);
  h.scheduler.runFor(1ms);
  auto channel = Record(0x010A, 11);
  channel[10] = 6;
  h.command(channel);
  h.scheduler.runFor(1ms);
  EXPECT_EQ(h.chip.firmware().settings().ledPattern, 0xFF0001u);
  EXPECT_EQ(h.chip.firmware().settings().channel, 6);
  EXPECT_EQ(h.chip.cause() & kCauseCommand, kCauseCommand);  // answered
  EXPECT_EQ(h.chip.commands().size(), before);
  EXPECT_TRUE(h.chip.protocolFaults().empty());
}

TEST(SimChip, StatisticsReplyLayout) {
  ChipHarness h;
  ASSERT_TRUE(h.download());
  auto& counters = h.chip.counters();
  counters.transmittedFragments = 11;
  counters.failed = 3;
  counters.fcsErrors = 8;
  h.command(Record(0x0014, 44));
  h.scheduler.runFor(1ms);
  EXPECT_EQ(h.u16At(0), 0x8014);
  EXPECT_EQ(h.u16At(8), 0);
  EXPECT_EQ(h.u32At(12), 11u);
  EXPECT_EQ(h.u32At(20), 3u);
  EXPECT_EQ(h.u32At(40), 8u);
}

TEST(SimChip, RemovalMakesEveryReadAllOnesAndDropsTheLine) {
  ChipHarness h;
  h.write(1, kRegMask, kCauseAll);
  h.chip.pulseRadioSwitch(false);
  EXPECT_TRUE(h.bus.interruptLine());
  h.chip.surpriseRemoved();
  EXPECT_FALSE(h.bus.interruptLine());
  EXPECT_EQ(h.chip.readRegister(0, kTxRingRegister, AccessWidth::U32), 0xFFFFFFFFu);
  EXPECT_EQ(h.chip.readRegister(1, kRegCause, AccessWidth::U32), 0xFFFFFFFFu);
  EXPECT_EQ(h.chip.readRegister(1, kRegMacAddress, AccessWidth::U16), 0xFFFFu);
  EXPECT_EQ(h.chip.readRegister(1, kRegMacAddress, AccessWidth::U8), 0xFFu);
}

TEST(SimChip, LineFollowsCauseAndMaskBelow0x80) {
  ChipHarness h;
  h.chip.raise(0x80);  // not an interrupt cause
  h.write(1, kRegMask, 0xFF);
  EXPECT_FALSE(h.bus.interruptLine());
  h.chip.pulseRadioSwitch(true);
  EXPECT_TRUE(h.bus.interruptLine());
  h.write(1, kRegMask, 0);
  EXPECT_FALSE(h.bus.interruptLine());
  h.write(1, kRegMask, kCauseAll);
  EXPECT_TRUE(h.bus.interruptLine());
  h.write(1, kRegCause, 0);  // writing 0 clears every cause
  EXPECT_FALSE(h.bus.interruptLine());
  EXPECT_EQ(h.bus.lineChanges(), (std::vector<bool>{true, false, true, false}));
}

TEST(SimChip, PciConfigurationSpace) {
  ChipHarness h;
  std::uint8_t id[4];
  ASSERT_EQ(h.chip.readPciConfig(0, id), 4u);
  EXPECT_EQ(id[0] | id[1] << 8, 0x1E4D);
  EXPECT_EQ(id[2] | id[3] << 8, 0x2D17);
  std::uint8_t bars[8];
  ASSERT_EQ(h.chip.readPciConfig(0x10, bars), 8u);
  const auto resources = h.chip.resources();
  ASSERT_EQ(resources.windows.size(), 2u);
  EXPECT_EQ(bars[3] << 24 | bars[2] << 16 | bars[1] << 8 | bars[0], resources.windows[0].physicalBase);
  EXPECT_EQ(bars[7] << 24 | bars[6] << 16 | bars[5] << 8 | bars[4], resources.windows[1].physicalBase);

  h.chip.knobs().pciReadLimit = 0x2E;
  std::uint8_t subsystem[4];
  EXPECT_EQ(h.chip.readPciConfig(0x2C, subsystem), 2u);
  h.chip.knobs().memoryWindows = 1;
  EXPECT_EQ(h.chip.resources().windows.size(), 1u);
}

TEST(SimChip, ChannelActivityThroughTheIndirectRegisters) {
  ChipHarness h;
  h.chip.setChannelActivity(37);
  h.chip.writeRegister(1, kRegIndirectSelect, AccessWidth::U8, kIndirectChannelSelect);
  h.chip.writeRegister(1, kRegIndirectIndex, AccessWidth::U8, kIndirectChannelActivity);
  EXPECT_EQ(h.chip.readRegister(1, kRegIndirectData, AccessWidth::U8), 37u);
}

TEST(SimChip, StopDoorbellReturnsToTheBootRomAndCrashClearsTheAliveWord) {
  ChipHarness h;
  ASSERT_TRUE(h.download());
  auto alive = *h.bus.memory().allocate(4);
  std::memset(alive.virtualAddress, 0x55, 4);
  auto spec = Record(0x0003, 44);
  std::memcpy(&spec[40], &alive.physical, 4);
  h.command(spec);
  h.scheduler.runFor(2ms);
  h.chip.crash();
  EXPECT_EQ(alive.virtualAddress[0], 0);
  h.command(Record(0x001C, 14));
  h.scheduler.runFor(2ms);
  EXPECT_EQ(h.u16At(0), 0x001C);  // a dead firmware answers nothing

  h.write(1, kRegDoorbell, kDoorbellStop);
  EXPECT_EQ(h.chip.firmwareState(), FirmwareState::Reset);
  ASSERT_TRUE(h.download());  // and it can be loaded again
  EXPECT_TRUE(h.chip.protocolFaults().empty());
}

}  // namespace
}  // namespace simchip
