#include "driver/hal/testing/os_layer_double.h"

#include <cstring>

#include "driver/hal/hal_os.h"

namespace zelnic::hal {
namespace {

constexpr ULONG kTag = NdisTag("IXCB");
constexpr UINT kWindowBytes = 0x10000;

void TimerTrampoline(PVOID, PVOID context, PVOID, PVOID) {
  auto* record = static_cast<OsTimerRecord*>(context);
  if (record->callback) record->callback(record->context);
}

}  // namespace

void* OsAllocate(OsLayer* os, std::size_t size) { return OsAllocateTagged(os, size, kTag); }

void* OsAllocateTagged(OsLayer*, std::size_t size, ULONG tag) {
  PVOID memory = nullptr;
  if (NdisAllocateMemoryWithTag(&memory, static_cast<UINT>(size), tag) != NDIS_STATUS_SUCCESS) return nullptr;
  NdisZeroMemory(memory, static_cast<ULONG>(size));
  return memory;
}

void OsFree(OsLayer*, void* memory, std::size_t size) {
  if (memory != nullptr && size != 0) NdisFreeMemory(memory, static_cast<UINT>(size), 0);
}

bool OsAllocateShared(OsLayer* os, std::size_t size, SharedBlock& block) {
  PVOID memory = nullptr;
  NDIS_PHYSICAL_ADDRESS physical{};
  NdisMAllocateSharedMemory(os->adapter, static_cast<ULONG>(size), FALSE, &memory, &physical);
  if (memory == nullptr) return false;
  NdisZeroMemory(memory, static_cast<ULONG>(size));
  block = SharedBlock{static_cast<std::uint8_t*>(memory), physical.LowPart, size};
  return true;
}

void OsFreeShared(OsLayer* os, SharedBlock& block) {
  if (block.virtualAddress == nullptr) return;
  NDIS_PHYSICAL_ADDRESS physical{};
  physical.QuadPart = block.physical;
  NdisMFreeSharedMemory(os->adapter, static_cast<ULONG>(block.length), FALSE, block.virtualAddress, physical);
  block = SharedBlock{};
}

void OsAllocateLock(OsLayer*, NDIS_SPIN_LOCK* lock) { NdisAllocateSpinLock(lock); }
void OsAcquireLock(OsLayer*, NDIS_SPIN_LOCK* lock) { NdisAcquireSpinLock(lock); }
void OsReleaseLock(OsLayer*, NDIS_SPIN_LOCK* lock) { NdisReleaseSpinLock(lock); }
void OsFreeLock(OsLayer*, NDIS_SPIN_LOCK* lock) { NdisFreeSpinLock(lock); }

NDIS_STATUS OsGetAdapterResources(OsLayer* os, AdapterResourceRecord** out) {
  *out = nullptr;
  auto* record = static_cast<AdapterResourceRecord*>(OsAllocate(os, sizeof(AdapterResourceRecord)));
  if (record == nullptr) return NDIS_STATUS_RESOURCES;
  std::uint16_t ids[2] = {};
  NdisReadPciSlotInformation(os->adapter, 0, 0, ids, sizeof ids);
  record->vendor = ids[0];
  record->device = ids[1];
  alignas(8) std::uint8_t buffer[512];
  auto* list = reinterpret_cast<PNDIS_RESOURCE_LIST>(buffer);
  UINT size = sizeof buffer;
  NDIS_STATUS status;
  NdisMQueryAdapterResources(&status, os->configuration, list, &size);
  for (ULONG i = 0; status == NDIS_STATUS_SUCCESS && i < list->Count; ++i) {
    const auto& d = list->PartialDescriptors[i];
    if (d.Type == CmResourceTypeMemory && record->windows < 2) {
      status = NdisMMapIoSpace(&record->window[record->windows], os->adapter, d.u.Memory.Start, d.u.Memory.Length);
      if (status == NDIS_STATUS_SUCCESS) ++record->windows;
    } else if (d.Type == CmResourceTypeInterrupt && !record->interruptRegistered) {
      status = NdisMRegisterInterrupt(&record->interrupt, os->adapter, d.u.Interrupt.Vector, d.u.Interrupt.Level,
                                      TRUE, TRUE, NdisInterruptLevelSensitive);
      record->interruptRegistered = status == NDIS_STATUS_SUCCESS;
    }
  }
  if (status != NDIS_STATUS_SUCCESS) {
    OsReleaseAdapterResources(os, record);
    return NDIS_STATUS_RESOURCES;
  }
  *out = record;
  return NDIS_STATUS_SUCCESS;
}

void OsReleaseAdapterResources(OsLayer* os, AdapterResourceRecord* record) {
  for (unsigned i = 0; i < record->windows; ++i) NdisMUnmapIoSpace(os->adapter, record->window[i], kWindowBytes);
  if (record->interruptRegistered) NdisMDeregisterInterrupt(&record->interrupt);
  OsFree(os, record, sizeof *record);
}

std::uint16_t ResourceVendorId(const AdapterResourceRecord* r) { return r->vendor; }
std::uint16_t ResourceDeviceId(const AdapterResourceRecord* r) { return r->device; }
unsigned ResourceWindowCount(const AdapterResourceRecord* r) { return r->windows; }
volatile std::uint8_t* ResourceWindow(const AdapterResourceRecord* r, unsigned index) {
  return static_cast<volatile std::uint8_t*>(r->window[index]);
}
PNDIS_MINIPORT_INTERRUPT ResourceInterrupt(AdapterResourceRecord* r) { return &r->interrupt; }

OsTimerRecord* OsCreateTimer(OsLayer* os, TimerCallback callback, void* context) {
  auto* record = static_cast<OsTimerRecord*>(OsAllocate(os, sizeof(OsTimerRecord)));
  if (record == nullptr) return nullptr;
  record->callback = callback;
  record->context = context;
  NdisMInitializeTimer(&record->timer, os->adapter, &TimerTrampoline, record);
  return record;
}

void OsCancelTimer(OsLayer*, OsTimerRecord* timer) {
  BOOLEAN cancelled;
  NdisMCancelTimer(&timer->timer, &cancelled);
}

void OsDestroyTimer(OsLayer* os, OsTimerRecord* timer) { OsFree(os, timer, sizeof *timer); }

}  // namespace zelnic::hal
