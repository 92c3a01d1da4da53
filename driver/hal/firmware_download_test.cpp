// Starting the chip: the download handshake, the hardware specification and the first
// commands, against the simulated chip, and every way the start can fail.
#include "driver/hal/firmware_download.h"

#include <gtest/gtest.h>

#include <cstring>

#include "driver/hal/firmware_images.h"
#include "driver/hal/hal_registers.h"
#include "driver/hal/testing/hal_harness.h"
#include "sim/chip/chip_registers.h"

namespace zelnic::hal {
namespace {

using testing::HalHarness;
using W = simchip::RegisterAccess;
using ndis::AccessWidth;
using namespace std::chrono_literals;

std::vector<W> Writes(const std::vector<W>& accesses) {
  std::vector<W> writes;
  for (const W& a : accesses) {
    if (a.write) writes.push_back(a);
  }
  return writes;
}

W Write1(std::uint32_t offset, std::uint32_t value) { return W{true, 1, offset, AccessWidth::U32, value}; }
W Write0(std::uint32_t offset, std::uint32_t value) { return W{true, 0, offset, AccessWidth::U32, value}; }

void ExpectKick(std::vector<W>& expected, std::uint32_t address) {
  expected.push_back(Write1(kRegAddress, address));
  expected.push_back(Write1(kRegStatus, 0));
  expected.push_back(Write1(kRegDoorbell, kDoorbellCommand));
}

std::uint16_t U16(const std::vector<std::uint8_t>& r, std::size_t at) {
  return static_cast<std::uint16_t>(r[at] | r[at + 1] << 8);
}
std::uint32_t U32(const std::vector<std::uint8_t>& r, std::size_t at) {
  return static_cast<std::uint32_t>(U16(r, at)) | static_cast<std::uint32_t>(U16(r, at + 2)) << 16;
}

TEST(StartHardware, DownloadWritesInTheirOrder) {
  HalHarness h;
  h.chip.recordAccesses(true);
  ASSERT_EQ(h.start(), NDIS_STATUS_SUCCESS) << h.chip.lastRefusal();
  const auto writes = Writes(h.chip.accesses());

  // The transfer block is one of the command buffers.
  const std::uint32_t block = writes[5 + 1 + 64 + 3 + 1 + 3].value;
  const std::uint32_t buffers = h.hal()->commands.buffers.physical;
  ASSERT_GE(block, buffers);
  EXPECT_EQ((block - buffers) % kCommandBufferBytes, 0u);

  std::vector<W> expected = {Write1(kRegMask, 0), Write1(kRegMaskShadow, 0x7F), Write1(kRegCause, 0),
                             Write1(kRegMask, 0), Write1(kRegUnmaskAck, 0x7F)};
  expected.push_back(Write0(kBootMailbox, 0x01000001));
  for (std::uint32_t i = 0; i < 64; ++i) {
    std::uint32_t word;
    std::memcpy(&word, kBootBlock + 4 * i, 4);
    expected.push_back(Write0(kBootArea + 4 * i, word));
  }
  ExpectKick(expected, 0xC000BEF8);
  expected.push_back(Write0(kBootMailbox, 1));
  ExpectKick(expected, 0xC000BEF8);
  for (int n = 0; n < 479; ++n) {
    ExpectKick(expected, block);
    expected.push_back(Write1(kRegStatus, 0));
  }
  ExpectKick(expected, block);  // the end block
  expected.push_back(Write1(kRegStatus, 0));
  expected.push_back(Write1(kRegMask, 0x7F));
  expected.push_back(Write1(kRegUnmaskAck, 0x7F));
  ASSERT_GE(writes.size(), expected.size());
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), writes.begin()));
  EXPECT_EQ(h.chip.downloadedBlocks(), 479u);
  EXPECT_EQ(h.chip.firmwareState(), simchip::FirmwareState::Running);
  EXPECT_TRUE(h.chip.protocolFaults().empty());
}

TEST(StartHardware, HardwareSpecificationAndFirstCommands) {
  ndis::AdapterConfig config;
  config.parameters = {{"Preamble", "2"}, {"TxAntenna", "1"}, {"RxAntenna", "2"}, {"TxPowerLvl", "3"},
                       {"RTSThsd", "500"}};
  HalHarness h({}, config);
  ASSERT_EQ(h.start(), NDIS_STATUS_SUCCESS);
  h.scheduler.runFor(20ms);  // the last commands answer after the start returned

  const HardwareSpec& spec = h.hal()->spec;
  EXPECT_EQ(spec.version, simchip::kDefaultHardwareVersion);
  EXPECT_EQ(spec.permanentMac, h.chip.identity().mac);
  EXPECT_EQ(h.hal()->currentMac, h.chip.identity().mac);
  EXPECT_EQ(spec.regionCode, 0x10);
  EXPECT_EQ(spec.firmwareRelease, simchip::kDefaultFirmwareRelease);
  EXPECT_EQ(spec.txRingRegister, 0x4000);
  EXPECT_EQ(spec.rxWritePointerRegister, 0x4004);  // the reply's offset 32
  EXPECT_EQ(spec.rxReadPointerRegister, 0x4008);   // the reply's offset 36
  // The transmit ring register names the first descriptor (behind the 64 buffers).
  EXPECT_EQ(h.chip.readRegister(0, 0x4000, AccessWidth::U32), h.hal()->txRing.physical + 64 * 2032);
  EXPECT_EQ(h.chip.readRegister(0, 0x4004, AccessWidth::U32), h.hal()->rxRing.physical);
  EXPECT_EQ(h.chip.readRegister(0, 0x4008, AccessWidth::U32), h.hal()->rxRing.physical);
  EXPECT_EQ(TheStartedHalAdapter(), h.hal());
  EXPECT_FALSE(h.hal()->txBlockedUntilStart);

  const auto& commands = h.chip.commands();
  std::vector<std::uint16_t> codes;
  for (const auto& c : commands) codes.push_back(c.code);
  // TX_POWER goes out only when the level changes: the firmware starts with the configured one.
  EXPECT_EQ(codes, (std::vector<std::uint16_t>{0x0003, 0x001C, 0x0020, 0x0020, 0x0113, 0x001C}));
  const auto& spec44 = commands[0].record;
  EXPECT_EQ(U16(spec44, 2), 44);
  EXPECT_EQ(std::vector<std::uint8_t>(spec44.begin() + 14, spec44.begin() + 20), std::vector<std::uint8_t>(6, 0xFF));
  EXPECT_EQ(U32(spec44, 40), h.hal()->aliveWord.physical);
  EXPECT_EQ(U16(commands[1].record, 10), 3);  // Preamble 2 is code 3
  EXPECT_EQ(U16(commands[1].record, 12), 1);  // radio on
  EXPECT_EQ(U16(commands[2].record, 8), 1);
  EXPECT_EQ(U16(commands[2].record, 10), 2);  // receive antenna
  EXPECT_EQ(U16(commands[3].record, 8), 2);
  EXPECT_EQ(U16(commands[3].record, 10), 1);  // transmit antenna
  EXPECT_EQ(U16(commands[4].record, 6), 1);  // SET_RTS carries the flag
  EXPECT_EQ(U32(commands[4].record, 8), 500u);
  EXPECT_TRUE(h.chip.protocolFaults().empty());
  h.run(DISPATCH_LEVEL, [&] { EXPECT_TRUE(CommandQueueIdle(h.hal())); });
  EXPECT_EQ(h.hal()->commands.freeCount, kCommandBuffers);

  const auto settings = h.chip.firmware().settings();
  EXPECT_TRUE(settings.radioOn);
  EXPECT_EQ(h.hal()->lastTxPowerSent, 3u);
  // A changed level goes out once; the same level again sends nothing.
  const std::size_t before = h.chip.commands().size();
  h.run(DISPATCH_LEVEL, [&] { SendTxPower(h.hal(), 1, 3); });
  h.run(DISPATCH_LEVEL, [&] { SendTxPower(h.hal(), 1, 2); });
  h.scheduler.runFor(5ms);
  ASSERT_EQ(h.chip.commands().size(), before + 1);
  EXPECT_EQ(h.chip.commands().back().code, 0x001E);
  EXPECT_EQ(h.chip.firmware().settings().txPowerLevel, 10);

  EXPECT_EQ(h.core.calls, (std::vector<std::string>{"start"}));
  h.halt();
  EXPECT_TRUE(h.leakFree()) << h.leaks();
  EXPECT_EQ(h.core.calls, (std::vector<std::string>{"start", "leave network", "halt 1", "destroy"}));
  EXPECT_FALSE(h.chip.firmware().settings().radioOn);  // radio off before the stop doorbell
  EXPECT_EQ(h.chip.firmwareState(), simchip::FirmwareState::Reset);
  EXPECT_EQ(TheHalAdapter(), nullptr);
}

TEST(StartHardware, RegionCodes) {
  struct Case {
    std::uint16_t code;
    std::uint16_t kept;
    std::uint32_t index;
  };
  for (const Case c : {Case{0x10, 0x10, 0}, Case{0x20, 0x20, 1}, Case{0x30, 0x30, 2}, Case{0x31, 0x31, 3},
                       Case{0x32, 0x32, 4}, Case{0x40, 0x40, 5}, Case{0x50, 0x10, 0}}) {
    SCOPED_TRACE(c.code);
    simchip::ChipIdentity identity;
    identity.regionCode = c.code;
    HalHarness h(identity);
    ASSERT_EQ(h.start(), NDIS_STATUS_SUCCESS);
    EXPECT_EQ(h.hal()->spec.regionCode, c.kept);
    EXPECT_EQ(RegionIndex(h.hal()), c.index);
  }
}

TEST(StartHardware, EveryFaultEndsTheStartAndLeavesNothingBehind) {
  struct Case {
    const char* name;
    std::function<void(simchip::ChipKnobs&)> knob;
    NDIS_STATUS status;
  };
  const Case cases[] = {
      {"boot block never acknowledged", [](auto& k) { k.bootNeverAcknowledged = true; }, NDIS_STATUS_FAILURE},
      {"first block refused", [](auto& k) { k.refuseBlock = 0; }, NDIS_STATUS_FAILURE},
      {"last block refused", [](auto& k) { k.refuseBlock = 478; }, NDIS_STATUS_FAILURE},
      {"never running", [](auto& k) { k.neverRunning = true; }, NDIS_STATUS_FAILURE},
      // The kick reads the status once; then 200 polls: an answer on read 202 comes too late.
      {"mailbox answers after 200 polls", [](auto& k) { k.mailboxAnswerAfterPolls = 202; }, NDIS_STATUS_FAILURE},
      {"mailbox answers on the last poll", [](auto& k) { k.mailboxAnswerAfterPolls = 201; }, NDIS_STATUS_SUCCESS},
      {"mailbox slower than 1 ms", [](auto& k) { k.mailboxLatency = 1100us; }, NDIS_STATUS_FAILURE},
      {"MAC differs from 0xA528", [](auto& k) { k.reportWrongMac = true; }, NDIS_STATUS_FAILURE},
      // 10 ms, then 11 looks 1 ms apart.
      {"hardware specification after 22 ms", [](auto& k) { k.hardwareSpecLatency = 22ms; }, NDIS_STATUS_FAILURE},
      {"hardware specification after 20 ms", [](auto& k) { k.hardwareSpecLatency = 20ms; }, NDIS_STATUS_SUCCESS},
      {"one memory window", [](auto& k) { k.memoryWindows = 1; }, NDIS_STATUS_FAILURE},
      {"PCI identity unreadable", [](auto& k) { k.pciReadLimit = 0; }, NDIS_STATUS_FAILURE},
      // A ring register must lie inside window 0: 16 bits of 0x14000 would look like 0x4000.
      {"ring register beyond window 0", [](auto& k) { k.reportTxRingRegister = 0x14000; }, NDIS_STATUS_FAILURE},
      {"ring register at the window's last word", [](auto& k) { k.reportTxRingRegister = 0xFFFC; }, NDIS_STATUS_SUCCESS},
      {"ring register in the window's last bytes", [](auto& k) { k.reportTxRingRegister = 0xFFFE; }, NDIS_STATUS_FAILURE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HalHarness h;
    c.knob(h.knobs());
    EXPECT_EQ(h.start(), c.status);
    if (c.status != NDIS_STATUS_SUCCESS) {
      EXPECT_EQ(h.hal(), nullptr);
      EXPECT_FALSE(h.host->running());
      EXPECT_EQ(TheHalAdapter(), nullptr);
      EXPECT_TRUE(h.leakFree()) << h.leaks();
    }
    EXPECT_TRUE(h.chip.protocolFaults().empty());
  }
}

TEST(StartHardware, EveryAllocationFailureLeavesNothingBehind) {
  for (const auto kind : {ndis::RequestKind::SharedMemory, ndis::RequestKind::Memory}) {
    for (std::uint64_t nth = 1;; ++nth) {
      SCOPED_TRACE(nth);
      HalHarness h;
      h.host->setFailureRule(ndis::FailNth(kind, nth));
      if (h.start() == NDIS_STATUS_SUCCESS) {
        EXPECT_GT(nth, 4u);  // ring, ring, command buffers, alive word at least
        break;
      }
      EXPECT_EQ(TheHalAdapter(), nullptr);
      EXPECT_TRUE(h.leakFree()) << h.leaks();
    }
  }
}

}  // namespace
}  // namespace zelnic::hal
