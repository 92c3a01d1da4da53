#pragma once
// The chip layer's use of the OS-service table, in one place: memory, shared memory,
// spin locks, timers and the adapter's resources.
#include <cstddef>
#include <cstdint>

#include "platform/ndis/ndis.h"

struct OsLayer;
struct AdapterResourceRecord;
struct OsTimerRecord;

namespace zelnic::hal {

struct SharedBlock {
  std::uint8_t* virtualAddress = nullptr;
  std::uint32_t physical = 0;
  std::size_t length = 0;
};

// Zero-filled memory (the OS layer's tag), or with the given tag.
void* OsAllocate(OsLayer* os, std::size_t size);
void* OsAllocateTagged(OsLayer* os, std::size_t size, ULONG tag);
void OsFree(OsLayer* os, void* memory, std::size_t size);
// Zero-filled shared memory the chip reaches by DMA; false when none was given.
bool OsAllocateShared(OsLayer* os, std::size_t size, SharedBlock& block);
void OsFreeShared(OsLayer* os, SharedBlock& block);

void OsAllocateLock(OsLayer* os, NDIS_SPIN_LOCK* lock);
void OsAcquireLock(OsLayer* os, NDIS_SPIN_LOCK* lock);
void OsReleaseLock(OsLayer* os, NDIS_SPIN_LOCK* lock);
void OsFreeLock(OsLayer* os, NDIS_SPIN_LOCK* lock);

}  // namespace zelnic::hal

namespace zelnic::hal {

// The adapter's resources as the OS layer found them (interrupt registered, windows mapped).
NDIS_STATUS OsGetAdapterResources(OsLayer* os, AdapterResourceRecord** record);
void OsReleaseAdapterResources(OsLayer* os, AdapterResourceRecord* record);
std::uint16_t ResourceVendorId(const AdapterResourceRecord* record);
std::uint16_t ResourceDeviceId(const AdapterResourceRecord* record);
unsigned ResourceWindowCount(const AdapterResourceRecord* record);
volatile std::uint8_t* ResourceWindow(const AdapterResourceRecord* record, unsigned index);
PNDIS_MINIPORT_INTERRUPT ResourceInterrupt(AdapterResourceRecord* record);

// One-shot or periodic timers whose expiry calls `callback(context)`.
using TimerCallback = void (*)(void* context);
OsTimerRecord* OsCreateTimer(OsLayer* os, TimerCallback callback, void* context);
void OsCancelTimer(OsLayer* os, OsTimerRecord* timer);
void OsDestroyTimer(OsLayer* os, OsTimerRecord* timer);

}  // namespace zelnic::hal
