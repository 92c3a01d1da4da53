// Interrupt claim and dispatch, the chip-gone test, and the stop paths.
#include "driver/hal/firmware_commands.h"
#include "driver/hal/hal_adapter.h"
#include "driver/hal/hal_internal.h"
#include "driver/hal/hal_registers.h"

namespace zelnic::hal {
namespace {

constexpr std::uint32_t kEventAdapterRemoved = 2;
constexpr std::uint32_t kEventRadioOn = 8;
constexpr std::uint32_t kEventRadioOff = 9;

std::uint32_t AliveWord(const HalAdapter* hal) {
  return *reinterpret_cast<volatile const std::uint32_t*>(hal->aliveWord.virtualAddress);
}

void Post(HalAdapter* hal, std::uint32_t code) {
  if (hal->link.PostUtilityEvent) hal->link.PostUtilityEvent(hal->link.core, code, nullptr, 0);
}

void LeaveNetwork(HalAdapter* hal) {
  if (hal->link.DisconnectByState) hal->link.DisconnectByState(hal->link.core, true);
}

void SetRadioOn(HalAdapter* hal, std::uint32_t value) {
  if (hal->link.radioOn) *hal->link.radioOn = value;
}

// Reads and acknowledges the cause; claims it (masking everything and keeping the cause in
// the pending word) when it is not all ones and has a cause bit.
ULONG CollectCauses(HalAdapter* hal) {
  const std::uint32_t cause = ReadRegister(hal, 1, kRegCause);
  WriteRegister(hal, 1, kRegCause, ~cause & kCauseAll);
  if (cause == kGone || (cause & kCauseAll) == 0) return 0;
  WriteRegister(hal, 1, kRegMask, 0);
  hal->pendingCauses |= cause;
  return 1;
}

BOOLEAN CollectCausesSynchronized(PVOID context) {
  return CollectCauses(static_cast<HalAdapter*>(context)) != 0;
}

// Clears `cause` in the pending word; true when it was set.
bool Take(HalAdapter* hal, std::uint32_t cause) {
  if ((hal->pendingCauses & cause) == 0) return false;
  hal->pendingCauses &= ~cause;
  return true;
}

}  // namespace

ULONG HalIsr(HalAdapter* hal) {
  if (!hal->interruptsAllowed) {
    WriteRegister(hal, 1, kRegMask, 0);
    return 0;
  }
  if (AliveWord(hal) != kAliveWord) return 0;
  return CollectCauses(hal);
}

void HalInterruptDpc(HalAdapter* hal) {
  while ((hal->pendingCauses & kCausesServed) != 0 && !IsChipGone(hal)) {
    if (Take(hal, kCauseRadioOn)) {
      SetRadioOn(hal, 1);
      Post(hal, kEventRadioOn);
    }
    if (Take(hal, kCauseRx) && hal->rings.ReceiveComplete) hal->rings.ReceiveComplete(hal);
    if (Take(hal, kCauseTxDone) && hal->rings.TransmitComplete) hal->rings.TransmitComplete(hal);
    if (Take(hal, kCauseRadioOff)) {
      SetRadioOn(hal, 2);
      Post(hal, kEventRadioOff);
    }
    if (Take(hal, kCauseCommand)) ProcessFirmwareResponse(hal);
    if (Take(hal, kCausePowerSave) && hal->rings.PowerSaveEvent) hal->rings.PowerSaveEvent(hal, 1);
    NdisMSynchronizeWithInterrupt(hal->interrupt, reinterpret_cast<PVOID>(&CollectCausesSynchronized),
                                  hal);
  }
}

BOOLEAN IsChipGone(HalAdapter* hal) {
  if (hal->removed) {
    LeaveNetwork(hal);
    Post(hal, kEventAdapterRemoved);
    return TRUE;
  }
  if (ReadRegister(hal, 0, hal->spec.txRingRegister) == kGone) {
    hal->removed = 1;
    Post(hal, kEventAdapterRemoved);
    LeaveNetwork(hal);
    return TRUE;
  }
  return FALSE;
}

void EnableInterrupts(HalAdapter* hal) {
  WriteRegister(hal, 1, kRegMask, kCauseAll);
  ReadRegister(hal, 1, kRegStatus);
  WriteRegister(hal, 1, kRegUnmaskAck, kCauseAll);
  ReadRegister(hal, 1, kRegStatus);
}

void DisableInterrupts(HalAdapter* hal) {
  WriteRegister(hal, 1, kRegMask, 0);
  ReadRegister(hal, 1, kRegStatus);
}

void StopFirmware(HalAdapter* hal) {
  if (hal->removed == 1) return;
  SetRadioOn(hal, 0);
  SendRadioControl(hal);
  NdisMSleep(1000);
  WriteRegister(hal, 1, kRegDoorbell, kDoorbellStop);
}

void HalStop(HalAdapter* hal, ULONG removed) {
  hal->removed = removed;
  if (!hal->txStopped) {
    LeaveNetwork(hal);
    hal->txStopped = true;
    PauseTransmission(hal);
  }
  while (hal->rings.SparesOutstanding && hal->rings.SparesOutstanding(hal) > 0) NdisMSleep(1000);
  ReleaseResources(hal);
}

void HalShutdown(HalAdapter* hal) {
  CancelTimers(hal);
  WriteRegister(hal, 1, kRegDoorbell, kDoorbellStop);
}

void HalSetLed(HalAdapter* hal, ULONG pattern) {
  hal->ledPattern = pattern;
  if (((pattern >> 16) & 0xFF) != 0xFD) SendSetLedPattern(hal, pattern);
}

}  // namespace zelnic::hal
