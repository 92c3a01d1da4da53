// Creation and destruction of the chip layer, its operations table, register access and
// the small services it offers the core.
#include <cstring>
#include <new>

#include "driver/hal/firmware_commands.h"
#include "driver/hal/firmware_download.h"
#include "driver/hal/hal_adapter.h"
#include "driver/hal/hal_internal.h"
#include "driver/hal/hal_registers.h"
#include "driver/ndis/miniport_context.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::hal {
namespace {

constexpr std::uint16_t kVendorId = 0x1E4D;
constexpr std::uint16_t kDeviceId = 0x2D17;
constexpr std::uint32_t kLinkSpeedWord = 540000;

HalAdapter* g_halAdapter = nullptr;
HalAdapter* g_startedHalAdapter = nullptr;

ULONG OpInit(HalAdapter*) { return StatusSuccess; }
ULONG OpReset(HalAdapter*) { return StatusSuccess; }
void OpNothing(HalAdapter*) {}
BOOLEAN OpHangCheck(HalAdapter*) { return FALSE; }
ULONG OpStart(HalAdapter* hal) { return static_cast<ULONG>(StartHardware(hal)); }
void OpEmpty() {}

void FillOps(HalAdapterOps& ops) {
  ops = HalAdapterOps{};
  ops.Init = &OpInit;
  ops.Start = &OpStart;
  ops.Stop = &HalStop;
  ops.Reset = &OpReset;
  ops.NoOperation4 = &OpNothing;
  ops.Shutdown = &HalShutdown;
  ops.EnableInterrupts = &EnableInterrupts;
  ops.DisableInterrupts = &DisableInterrupts;
  ops.Empty8 = &OpEmpty;
  ops.Empty9 = &OpEmpty;
  ops.ReturnReceiveBuffer = &ReturnReceiveBuffer;
  ops.Transmit = &HalTransmit;
  ops.Empty12 = &OpEmpty;
  ops.HangCheck = &OpHangCheck;
  ops.Isr = &HalIsr;
  ops.InterruptDpc = &HalInterruptDpc;
  ops.NoOperation16 = &OpNothing;
  ops.NoOperation17 = &OpNothing;
  ops.SetLed = &HalSetLed;
  ops.Destroy = &HalDestroy;
  ops.Empty20 = &OpEmpty;
}

ULONG TakeResources(HalAdapter* hal) {
  const ULONG status = hal->os->Table->GetAdapterResources(hal->os, &hal->resources);
  if (status != StatusSuccess) return status;
  if (hal->resources->VendorId != kVendorId || hal->resources->DeviceId != kDeviceId)
    return StatusAdapterNotFound;
  if (hal->resources->WindowCount < 2) return StatusFailure;
  hal->window0 = static_cast<volatile std::uint8_t*>(hal->resources->Windows[0].Virtual);
  hal->window1 = static_cast<volatile std::uint8_t*>(hal->resources->Windows[1].Virtual);
  hal->interrupt = &hal->resources->Interrupt;
  return StatusSuccess;
}

// In creation order: transmit ring and raw frames, send-path lists, receive ring and its
// records, command buffers, alive word.
ULONG AllocateBlocks(HalAdapter* hal) {
  if (!OsAllocateShared(hal->os, kTxRingBytes, hal->txRing)) return StatusResources;
  InitTransmitRing(hal);
  if (CreateRawFrames(hal) != StatusSuccess) return StatusResources;
  if (CreateSendPathLists(hal->os) != StatusSuccess) return StatusResources;
  hal->sendPathLists = true;
  if (!OsAllocateShared(hal->os, kRxRingBytes, hal->rxRing)) return StatusResources;
  if (CreateReceiveRing(hal) != StatusSuccess) return StatusResources;
  if (CreateCommandQueue(hal) != NDIS_STATUS_SUCCESS) return StatusResources;
  if (!OsAllocateShared(hal->os, sizeof(std::uint32_t), hal->aliveWord)) return StatusResources;
  *reinterpret_cast<volatile std::uint32_t*>(hal->aliveWord.virtualAddress) = kAliveWord;
  return StatusSuccess;
}

ULONG CreateTimers(HalAdapter* hal) {
  for (int i = 0; i < 4; ++i) {
    hal->timers[i] = OsTimerRecord{hal->os, &hal->timerObjects[i], nullptr, 0, 0, hal};
    if (hal->os->Table->InitTimer(hal->os, &hal->timers[i]) != StatusSuccess) return StatusResources;
  }
  hal->timersReady = true;
  return StatusSuccess;
}

volatile std::uint8_t* WindowOf(HalAdapter* hal, unsigned window) {
  return window == 0 ? hal->window0 : hal->window1;
}

}  // namespace

HalAdapter* TheHalAdapter() { return g_halAdapter; }
HalAdapter* TheStartedHalAdapter() { return g_startedHalAdapter; }
void RememberStartedHalAdapter(HalAdapter* hal) { g_startedHalAdapter = hal; }

ULONG CreateHalAdapter(AdapterContainer* container, const HalConfiguration& config,
                       const HalCoreLink& link, HalAdapter** created) {
  *created = nullptr;
  OsLayer* os = container->Os;
  void* memory = OsAllocate(os, sizeof(HalAdapter));
  if (memory == nullptr) return StatusResources;
  auto* hal = new (memory) HalAdapter{};
  hal->Head.Container = container;
  hal->os = os;
  hal->link = link;
  hal->config = config;
  // The firmware starts with the configured level: TX_POWER goes out only when it changes.
  hal->lastTxPowerSent = config.txPowerLevel;
  hal->rings = HalRingService{&HalReceiveComplete, &TransmitComplete, &PowerSaveEvent, &ReceiveRecordsOutstanding};
  g_halAdapter = hal;

  ULONG status = StatusResources;
  auto* ops = static_cast<HalAdapterOps*>(OsAllocate(os, sizeof(HalAdapterOps)));
  if (ops != nullptr) {
    FillOps(*ops);
    hal->Head.Ops = ops;
    hal->takePendingSends = true;
    hal->txBlockedUntilStart = true;
    OsAllocateLock(os, &hal->txLock);
    OsAllocateLock(os, &hal->powerSaveLock);
    hal->locksReady = true;
    status = CreateTimers(hal);
    if (status == StatusSuccess) status = TakeResources(hal);
    if (status == StatusSuccess) status = AllocateBlocks(hal);
  }
  if (status != StatusSuccess) {
    HalDestroy(hal);
    return status;
  }
  hal->powerMode = 0;
  hal->signalThreshold = -200;
  hal->lowSignalCount = 0;
  hal->removed = 0;
  hal->interruptsAllowed = 1;
  hal->linkSpeed = kLinkSpeedWord;
  *created = hal;
  return StatusSuccess;
}

void CancelTimers(HalAdapter* hal) {
  if (!hal->timersReady) return;
  for (auto& timer : hal->timers) hal->os->Table->CancelTimer(hal->os, &timer);
}

void ReleaseResources(HalAdapter* hal) {
  if (hal->resources == nullptr) return;
  hal->resources->Release(hal->resources);
  hal->resources = nullptr;
  hal->window0 = nullptr;
  hal->window1 = nullptr;
  hal->interrupt = nullptr;
}

void HalDestroy(HalAdapter* hal) {
  OsLayer* os = hal->os;
  if (hal->timersReady) {
    for (auto& timer : hal->timers) {
      os->Table->CancelTimer(os, &timer);
      os->Table->ClearTimer(os, &timer);
    }
  }
  if (hal->locksReady) {
    OsFreeLock(os, &hal->txLock);
    OsFreeLock(os, &hal->powerSaveLock);
  }
  OsFreeShared(os, hal->aliveWord);
  DestroyCommandQueue(hal);
  DestroyReceiveRing(hal);
  OsFreeShared(os, hal->rxRing);
  if (hal->sendPathLists) FreeSendPathLists(os);
  DestroyRawFrames(hal);
  OsFreeShared(os, hal->txRing);
  ReleaseResources(hal);
  if (hal->Head.Ops != nullptr) OsFree(os, const_cast<HalAdapterOps*>(hal->Head.Ops), sizeof(HalAdapterOps));
  if (g_halAdapter == hal) g_halAdapter = nullptr;
  if (g_startedHalAdapter == hal) g_startedHalAdapter = nullptr;
  hal->~HalAdapter();
  OsFree(os, hal, sizeof(HalAdapter));
}

std::uint32_t ReadRegister(HalAdapter* hal, unsigned window, std::uint32_t offset) {
  return READ_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(WindowOf(hal, window) + offset));
}

void WriteRegister(HalAdapter* hal, unsigned window, std::uint32_t offset, std::uint32_t value) {
  WRITE_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(WindowOf(hal, window) + offset), value);
}

std::uint8_t ReadRegisterByte(HalAdapter* hal, unsigned window, std::uint32_t offset) {
  return READ_REGISTER_UCHAR(WindowOf(hal, window) + offset);
}

void WriteRegisterByte(HalAdapter* hal, unsigned window, std::uint32_t offset, std::uint8_t value) {
  WRITE_REGISTER_UCHAR(WindowOf(hal, window) + offset, value);
}

std::uint32_t RegionIndex(const HalAdapter* hal) { return hal->spec.regionIndex; }

bool RadioIsOn(const HalAdapter* hal) { return hal->link.radioOn && *hal->link.radioOn == 1; }

std::uint8_t ReadChannelActivity(HalAdapter* hal) {
  WriteRegisterByte(hal, 1, kRegIndirectSelect, 0x54);
  WriteRegisterByte(hal, 1, kRegIndirectIndex, 0x3D);
  return ReadRegisterByte(hal, 1, kRegIndirectData);
}

MacAddress IbssBssidFrom(std::uint64_t systemTime, const MacAddress& station) {
  MacAddress bssid;
  for (std::size_t i = 0; i < bssid.size(); ++i)
    bssid[i] = static_cast<std::uint8_t>(systemTime >> (8 * i)) ^ station[i];
  bssid[0] = static_cast<std::uint8_t>((bssid[0] & ~1u) | 2u);  // locally administered, individual
  if (bssid == station) bssid[5] = static_cast<std::uint8_t>(~bssid[5]);
  return bssid;
}

MacAddress RandomIbssBssid(HalAdapter* hal) {
  LARGE_INTEGER now;
  NdisGetCurrentSystemTime(&now);
  return IbssBssidFrom(static_cast<std::uint64_t>(now.QuadPart), hal->currentMac);
}

}  // namespace zelnic::hal
