// The transmit ring: the chip layer copies every outgoing frame into a ring buffer of its
// own, hands the descriptor to the chip (status 0x80000001, doorbell 1) and reclaims it on
// the transmit-done interrupt. The transmit service fills the ring from the core's
// management queue and the shell's pending sends, a few frames per pass.
#include <cstring>

#include "driver/core/core_adapter_ops.h"
#include "driver/core/management_frames.h"
#include "driver/hal/chip_frames.h"
#include "driver/hal/hal_adapter.h"
#include "driver/hal/hal_registers.h"
#include "driver/ndis/miniport.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::hal {
namespace {

constexpr std::uint32_t kOwnedByChip = 0x80000000;
constexpr std::uint32_t kHandedToChip = 0x80000001;
constexpr std::uint32_t kCompletionBits = 0x7;
constexpr std::uint32_t kFramesPerPass = 10;
constexpr std::uint32_t kRingByteLimit = 20000;
constexpr std::uint32_t kRingFrameLimit = 63;
constexpr std::uint32_t kPauseWaitMicros = 50;
constexpr std::uint32_t kPauseWaitTries = 1000;
constexpr std::uint32_t kRetryMs = 1;
// The 14 rate codes the chip knows (500 kbit/s units).
constexpr std::uint8_t kKnownRates[] = {0x02, 0x04, 0x0B, 0x16, 0x2C, 0x0C, 0x12,
                                        0x18, 0x24, 0x30, 0x48, 0x60, 0x6C, 0x90};
constexpr std::uint32_t kRateUnit = 5000;  // a rate code in units of 100 bit/s

// Descriptor fields.
constexpr std::uint32_t kStatus = 0;
constexpr std::uint32_t kRate = 4;
constexpr std::uint32_t kBuffer = 8;
constexpr std::uint32_t kLength = 12;
constexpr std::uint32_t kNext = 20;

std::uint8_t* Buffer(HalAdapter* hal, std::uint32_t index) {
  return hal->txRing.virtualAddress + index * kRingBufferBytes;
}
std::uint8_t* Descriptor(HalAdapter* hal, std::uint32_t index) {
  return hal->txRing.virtualAddress + kRingEntries * kRingBufferBytes + index * kTxDescriptorBytes;
}
std::uint32_t DescriptorPhysical(HalAdapter* hal, std::uint32_t index) {
  return hal->txRing.physical + kRingEntries * kRingBufferBytes + index * kTxDescriptorBytes;
}


std::uint32_t Next(std::uint32_t index) { return (index + 1) % kRingEntries; }

void Lock(HalAdapter* hal) { OsAcquireLock(hal->os, &hal->txLock); }
void Unlock(HalAdapter* hal) { OsReleaseLock(hal->os, &hal->txLock); }

void PushHistory(std::uint32_t (&history)[kRateHistory], std::uint32_t value) {
  std::memmove(&history[1], &history[0], (kRateHistory - 1) * sizeof history[0]);
  history[0] = value;
}

// Copies the frame of a send record (the packet's buffers, or a frame the core built) into
// the ring buffer; its length, or 0 when it does not fit.
std::uint32_t CopyFrame(const SendDescriptor* d, std::uint8_t* into) {
  std::uint32_t length = 0;
  auto append = [&](const void* bytes, std::uint32_t count) {
    if (count > kRingBufferBytes - length) return false;
    std::memcpy(into + length, bytes, count);
    length += count;
    return true;
  };
  const FragmentNode* packetBuffers = (d->Flags & kSendFrameBuilt) != 0 ? nullptr : d->Fragments;
  for (const FragmentNode* f = packetBuffers; f != nullptr; f = NextFragment(f))
    if (!append(f->VirtualAddress, f->Length)) return 0;
  for (auto* built = static_cast<const core::ManagementFrameBuffer*>(d->Frame); built != nullptr;
       built = built->Chained)
    if (!append(built->Buffer, built->Length)) return 0;
  return length;
}

// Applies `change` to every chip-layout frame in the buffer's first `length` bytes.
template <typename Change>
void ForEachFrame(std::uint8_t* buffer, std::uint32_t length, Change change) {
  for (std::uint32_t at = 0; at + kChipFrameHeader <= length; at = NextChipFrame(at, buffer + at))
    change(buffer + at);
}

// One more frame from the core's management queue, else (when pulling) from the shell's
// queue; false when neither gave one.
bool SendOneFrame(HalAdapter* hal) {
  const HalCoreLink& link = hal->link;
  if (link.SendManagementFrame && link.SendManagementFrame(link.core)) return true;
  if (!hal->takePendingSends) return false;
  MiniportContext* context = hal->Head.Container->Context;
  return context != nullptr && TakePendingSend(context);
}

bool RingHasRoom(HalAdapter* hal) {
  return hal->tx.bytes <= kRingByteLimit && hal->tx.frames < kRingFrameLimit &&
         Next(hal->tx.writeIndex) != hal->tx.readIndex;
}

bool ChipOwnsAny(HalAdapter* hal) {
  Lock(hal);
  bool owned = false;
  for (std::uint32_t i = hal->tx.readIndex; i != hal->tx.writeIndex && !owned; i = Next(i))
    owned = (SharedWord(Descriptor(hal, i) + kStatus) & kOwnedByChip) != 0;
  Unlock(hal);
  return owned;
}

}  // namespace

void ArmTransmitRetry(HalAdapter* hal) {
  OsTimerRecord& timer = hal->timers[kTimerTransmitRetry];
  timer.Callback = [](OsTimerRecord* record) { RunTransmitService(static_cast<HalAdapter*>(record->Context)); };
  timer.PeriodMs = kRetryMs;
  timer.Periodic = 0;
  hal->os->Table->SetTimer(hal->os, &timer);
}

void InitTransmitRing(HalAdapter* hal) {
  for (std::uint32_t i = 0; i < kRingEntries; ++i) {
    std::uint8_t* d = Descriptor(hal, i);
    std::memset(d, 0, kTxDescriptorBytes);
    SharedWord(d + kBuffer) = hal->txRing.physical + i * kRingBufferBytes;
    SharedWord(d + kNext) = DescriptorPhysical(hal, Next(i));
  }
  hal->tx = TransmitRing{};
  hal->tx.rateCode = 0x02;  // 1 Mbit/s until the core chooses
}

std::uint32_t TransmitRingPhysical(HalAdapter* hal) { return DescriptorPhysical(hal, 0); }

ULONG HalTransmit(HalAdapter* hal, SendDescriptor* record) {
  if (IsChipGone(hal)) return StatusAdapterRemoved;
  Lock(hal);
  const std::uint32_t index = hal->tx.writeIndex;
  const bool free = Next(index) != hal->tx.readIndex && SharedWord(Descriptor(hal, index) + kStatus) == 0;
  Unlock(hal);
  if (!free) return StatusResources;  // the service never calls with a full ring

  std::uint8_t* buffer = Buffer(hal, index);
  std::uint32_t length = CopyFrame(record, buffer);
  if (length < kChipFrameHeader) return StatusInvalidLength;

  if (hal->txPowerSaveFlags != 0) {
    const HalCoreLink& link = hal->link;
    if (link.FrameNeedsRadioAwake && link.FrameNeedsRadioAwake(link.core, buffer)) {
      PowerSaveEvent(hal, 6);
    } else {
      ForEachFrame(buffer, length, [](std::uint8_t* frame) { frame[3] |= kFrameFlagPowerManagement; });
    }
  }
  if ((record->Flags & kSendNoCipher) == 0 && (ChipFrameFlags(buffer) & kFrameFlagProtected) != 0) {
    CoreAdapter* core = hal->link.core;
    const ULONG refused = CoreOps(core).Encrypt(core, record, buffer, length);
    // A frame the cipher refused never goes out in the clear.
    if (refused != StatusSuccess) return refused;
    // The cipher rewrote the body lengths: the frames now end where their last one ends.
    std::uint32_t end = 0;
    ForEachFrame(buffer, kRingBufferBytes, [&](std::uint8_t* frame) {
      const auto at = static_cast<std::uint32_t>(frame - buffer);
      if (at < length) end = at + kChipFrameHeader + ChipFrameBody(frame);
    });
    if (end > kRingBufferBytes) return StatusInvalidLength;
    length = end;
  }
  if (!IsManagementType(ChipFrameControl(buffer))) {
    hal->tx.bytesSent += length;
    ++hal->tx.dataFrames;
  }

  std::uint8_t* d = Descriptor(hal, index);
  SharedHalf(d + kLength) = static_cast<std::uint16_t>(length);
  d[kRate] = hal->tx.rateCode;
  Lock(hal);
  ++hal->tx.frames;
  hal->tx.bytes += length;
  SharedWord(d + kStatus) = kHandedToChip;
  hal->tx.writeIndex = Next(index);
  Unlock(hal);
  if (!IsChipGone(hal)) WriteRegister(hal, 1, kRegDoorbell, kDoorbellTransmit);
  return StatusSuccess;
}

void RunTransmitService(HalAdapter* hal) {
  Lock(hal);
  if (!hal->txEnabled || hal->txBlockedUntilStart || hal->txLoopRunning) {
    hal->txRunAgain = hal->txLoopRunning;
    Unlock(hal);
    return;
  }
  hal->txLoopRunning = true;
  const bool chipBusy = hal->tx.frames > 0 && (SharedWord(Descriptor(hal, hal->tx.readIndex) + kStatus) & kOwnedByChip);
  Unlock(hal);
  if (chipBusy) WriteRegister(hal, 1, kRegDoorbell, kDoorbellTransmit);

  std::uint32_t sent = 0;
  for (;;) {
    Lock(hal);
    hal->txRunAgain = false;
    const bool room = hal->txEnabled && RingHasRoom(hal);
    Unlock(hal);
    if (sent >= kFramesPerPass) {
      // The rest waits for the deferred handler (or the retry timer), to keep each pass short.
      hal->pendingCauses |= kCauseTxDone;
      ArmTransmitRetry(hal);
      break;
    }
    if (!room || !SendOneFrame(hal)) {
      Lock(hal);
      const bool again = hal->txRunAgain && hal->txEnabled && RingHasRoom(hal);
      Unlock(hal);
      if (again) continue;
      break;
    }
    ++sent;
  }
  Lock(hal);
  hal->txLoopRunning = false;
  Unlock(hal);
}

void TransmitComplete(HalAdapter* hal) {
  Lock(hal);
  while (hal->tx.readIndex != hal->tx.writeIndex) {
    std::uint8_t* d = Descriptor(hal, hal->tx.readIndex);
    const std::uint32_t status = SharedWord(d + kStatus);
    if (status & kOwnedByChip) break;
    if (status & kCompletionBits) {
      ++hal->tx.success;
      const std::uint8_t rate = d[kRate];
      for (const std::uint8_t known : kKnownRates)
        if (known == rate) PushHistory(hal->txRateHistory, rate * kRateUnit);
    }
    const std::uint16_t length = SharedHalf(d + kLength);
    --hal->tx.frames;
    hal->tx.bytes -= length;
    SharedHalf(d + kLength) = 0;
    SharedWord(d + kStatus) = 0;
    hal->tx.readIndex = Next(hal->tx.readIndex);
  }
  Unlock(hal);
  RunTransmitService(hal);
}

void PushReceiveRate(HalAdapter* hal, std::uint8_t rateCode) { PushHistory(hal->rxRateHistory, rateCode * kRateUnit); }

ULONG PauseTransmission(HalAdapter* hal, bool strict) {
  Lock(hal);
  hal->txEnabled = false;
  const bool running = hal->txLoopRunning;
  Unlock(hal);
  // The chip gives descriptors back by itself; only the interrupt's handler reclaims them.
  for (std::uint32_t attempt = 0; !running && attempt < kPauseWaitTries && ChipOwnsAny(hal); ++attempt)
    NdisStallExecution(kPauseWaitMicros);
  Lock(hal);
  const bool stillRunning = hal->txLoopRunning;
  if (stillRunning) hal->txEnabled = true;
  Unlock(hal);
  return stillRunning && strict ? StatusFailure : StatusSuccess;
}

void ResumeTransmission(HalAdapter* hal) {
  Lock(hal);
  const bool resume = !hal->txStopped && (hal->powerSaveFlags & kPsAsleep) == 0;
  if (resume) hal->txEnabled = true;
  Unlock(hal);
  if (resume) RunTransmitService(hal);
}

void SetPullPendingSends(HalAdapter* hal, bool pull) {
  Lock(hal);
  hal->takePendingSends = pull;
  Unlock(hal);
  if (pull) RunTransmitService(hal);
}

void SetTransmitRate(HalAdapter* hal, std::uint8_t rateCode) { hal->tx.rateCode = rateCode; }

std::uint32_t FramesInTransmitRing(HalAdapter* hal) {
  Lock(hal);
  const std::uint32_t frames = hal->tx.frames;
  Unlock(hal);
  return frames;
}

void ClearRateHistories(HalAdapter* hal) {
  std::memset(hal->txRateHistory, 0, sizeof hal->txRateHistory);
  std::memset(hal->rxRateHistory, 0, sizeof hal->rxRateHistory);
}

}  // namespace zelnic::hal
