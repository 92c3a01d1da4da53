#include "driver/hal/firmware_download.h"

#include <cstring>

#include "driver/hal/firmware_commands.h"
#include "driver/hal/firmware_images.h"
#include "driver/hal/hal_internal.h"
#include "driver/hal/hal_registers.h"

namespace zelnic::hal {
namespace {

constexpr std::uint32_t kMailboxPolls = 200;
constexpr std::uint32_t kMailboxPollMicros = 5;
constexpr std::uint32_t kBlockBytes = 256;
constexpr std::uint32_t kHardwareSpecFirstWaitMicros = 10000;
constexpr std::uint32_t kHardwareSpecPolls = 11;
constexpr std::uint32_t kHardwareSpecPollMicros = 1000;

enum class Wait { Sleep, Stall };

// Address to 0xC10, then the status register cleared and the doorbell rung, each write
// flushed by a status read.
void Kick(HalAdapter* hal, std::uint32_t address) {
  WriteRegister(hal, 1, kRegAddress, address);
  ReadRegister(hal, 1, kRegStatus);
  WriteRegister(hal, 1, kRegStatus, 0);
  ReadRegister(hal, 1, kRegStatus);
  WriteRegister(hal, 1, kRegDoorbell, kDoorbellCommand);
  ReadRegister(hal, 1, kRegStatus);
}

bool AwaitMailbox(HalAdapter* hal, std::uint32_t wanted, Wait wait) {
  for (std::uint32_t poll = 0; poll < kMailboxPolls; ++poll) {
    if (wait == Wait::Sleep) {
      NdisMSleep(kMailboxPollMicros);
    } else {
      NdisStallExecution(kMailboxPollMicros);
    }
    if (ReadRegister(hal, 1, kRegStatus) == wanted) return true;
  }
  return false;
}

void SetBlock(std::uint8_t* block, std::uint16_t length, const std::uint8_t* data) {
  block[0] = 1;  // type
  block[1] = 0;
  block[2] = static_cast<std::uint8_t>(length);
  block[3] = static_cast<std::uint8_t>(length >> 8);
  if (data != nullptr) std::memcpy(block + 8, data, length);
}

bool Download(HalAdapter* hal, CommandDescriptor* transfer) {
  std::uint8_t* block = transfer->buffer;
  const auto physical = static_cast<std::uint32_t>(transfer->physical);

  SetBlock(block, kBlockBytes, kBootBlock);
  WriteRegister(hal, 0, kBootMailbox, kBootLoadWord);
  for (std::uint32_t i = 0; i < kBootBlockSize / 4; ++i) {
    std::uint32_t word;
    std::memcpy(&word, kBootBlock + 4 * i, 4);
    WriteRegister(hal, 0, kBootArea + 4 * i, word);
  }
  Kick(hal, kBootKickAddress);
  if (!AwaitMailbox(hal, kMailboxAccepted, Wait::Sleep)) return false;

  SetBlock(block, 0, nullptr);
  WriteRegister(hal, 0, kBootMailbox, 1);
  Kick(hal, kBootKickAddress);
  NdisMSleep(2000);

  for (std::uint32_t at = 0; at < kFirmwareImageSize; at += kBlockBytes) {
    SetBlock(block, kBlockBytes, kFirmwareImage + at);
    Kick(hal, physical);
    if (!AwaitMailbox(hal, kMailboxAccepted, Wait::Stall)) return false;
    WriteRegister(hal, 1, kRegStatus, 0);
  }

  SetBlock(block, 0, nullptr);
  Kick(hal, physical);
  if (!AwaitMailbox(hal, kMailboxRunning, Wait::Sleep)) return false;
  WriteRegister(hal, 1, kRegStatus, 0);
  ReadRegister(hal, 1, kRegStatus);
  return true;
}

}  // namespace

NDIS_STATUS DownloadFirmware(HalAdapter* hal) {
  NdisMSleep(200);
  CommandDescriptor* transfer = TakeCommandBuffer(hal);
  if (transfer == nullptr) return NDIS_STATUS_FAILURE;
  const bool loaded = Download(hal, transfer);
  ReleaseCommandBuffer(hal, transfer);
  return loaded ? NDIS_STATUS_SUCCESS : NDIS_STATUS_FAILURE;
}

NDIS_STATUS StartHardware(HalAdapter* hal) {
  // 1. Mask and clear every cause.
  WriteRegister(hal, 1, kRegMask, 0);
  WriteRegister(hal, 1, kRegMaskShadow, kCauseAll);
  ReadRegister(hal, 1, kRegCause);
  WriteRegister(hal, 1, kRegCause, 0);
  WriteRegister(hal, 1, kRegMask, 0);
  WriteRegister(hal, 1, kRegUnmaskAck, kCauseAll);

  // 2. Boot block and image.
  if (DownloadFirmware(hal) != NDIS_STATUS_SUCCESS) return NDIS_STATUS_FAILURE;

  // 3. Unmask: from now on command responses arrive through the interrupt.
  WriteRegister(hal, 1, kRegMask, kCauseAll);
  WriteRegister(hal, 1, kRegUnmaskAck, kCauseAll);

  // 4. Hardware specification; the transmit-ring offset doubles as the reply mark.
  hal->spec.txRingRegister = 0;
  hal->hardwareSpecRefused = false;
  if (SendGetHardwareSpec(hal) != NDIS_STATUS_SUCCESS) return NDIS_STATUS_FAILURE;
  NdisMSleep(kHardwareSpecFirstWaitMicros);
  const auto replied = [hal] { return hal->spec.txRingRegister != 0 || hal->hardwareSpecRefused; };
  for (std::uint32_t poll = 0; !replied() && poll < kHardwareSpecPolls; ++poll) NdisMSleep(kHardwareSpecPollMicros);
  if (!replied() || hal->hardwareSpecRefused) return NDIS_STATUS_FAILURE;

  // 5. The reply's MAC must be the chip's; then the rings go to the chip.
  MacAddress chipMac;
  for (std::uint32_t i = 0; i < chipMac.size(); ++i)
    chipMac[i] = ReadRegisterByte(hal, 1, kRegMacAddress + i);
  if (chipMac != hal->spec.permanentMac) return NDIS_STATUS_FAILURE;
  hal->currentMac = hal->spec.permanentMac;
  WriteRegister(hal, 0, hal->spec.rxWritePointerRegister, hal->rxRing.physical);
  WriteRegister(hal, 0, hal->spec.rxReadPointerRegister, hal->rxRing.physical);
  WriteRegister(hal, 0, hal->spec.txRingRegister, TransmitRingPhysical(hal));
  RememberStartedHalAdapter(hal);

  // 6. First configuration, each command queued behind the previous.
  if (SendRadioControl(hal) != NDIS_STATUS_SUCCESS) return NDIS_STATUS_FAILURE;
  if (SendAntenna(hal, 1) != NDIS_STATUS_SUCCESS) return NDIS_STATUS_FAILURE;
  if (SendAntenna(hal, 2) != NDIS_STATUS_SUCCESS) return NDIS_STATUS_FAILURE;
  if (SendTxPower(hal, 1, hal->config.txPowerLevel) != NDIS_STATUS_SUCCESS)
    return NDIS_STATUS_FAILURE;
  if (SendSetRts(hal) != NDIS_STATUS_SUCCESS) return NDIS_STATUS_FAILURE;

  // 7. Power saving starts in mode 0 whatever the registry says.
  RestartPowerSaving(hal);

  // 8. Radio again; sends may flow.
  if (SendRadioControl(hal) != NDIS_STATUS_SUCCESS) return NDIS_STATUS_FAILURE;
  hal->txBlockedUntilStart = false;
  ResumeTransmission(hal);
  return NDIS_STATUS_SUCCESS;
}

}  // namespace zelnic::hal
