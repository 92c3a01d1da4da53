#pragma once
// The chip layer's use of the OS-service table, in one place: memory, shared memory and
// spin locks.
#include <cstddef>
#include <cstdint>

#include "driver/ndis/os_service_table.h"

namespace zelnic::hal {

struct SharedBlock {
  std::uint8_t* virtualAddress = nullptr;
  std::uint32_t physical = 0;
  std::size_t length = 0;
};

// Zero-filled memory; null when none was given.
void* OsAllocate(OsLayer* os, std::size_t size);
void OsFree(OsLayer* os, void* memory, std::size_t size);
// Zero-filled shared memory the chip reaches by DMA; false when none was given.
bool OsAllocateShared(OsLayer* os, std::size_t size, SharedBlock& block);
void OsFreeShared(OsLayer* os, SharedBlock& block);

// Descriptor fields in shared memory: the chip reads and writes them too, so every access
// is one volatile load or store of the field's width.
inline volatile std::uint32_t& SharedWord(std::uint8_t* at) { return *reinterpret_cast<volatile std::uint32_t*>(at); }
inline volatile std::uint16_t& SharedHalf(std::uint8_t* at) { return *reinterpret_cast<volatile std::uint16_t*>(at); }
inline volatile std::uint8_t& SharedByte(std::uint8_t* at) { return *reinterpret_cast<volatile std::uint8_t*>(at); }

inline void OsAllocateLock(OsLayer* os, NDIS_SPIN_LOCK* lock) { os->Table->AllocateSpinLock(lock); }
inline void OsAcquireLock(OsLayer* os, NDIS_SPIN_LOCK* lock) { os->Table->AcquireSpinLock(lock); }
inline void OsReleaseLock(OsLayer* os, NDIS_SPIN_LOCK* lock) { os->Table->ReleaseSpinLock(lock); }
inline void OsFreeLock(OsLayer* os, NDIS_SPIN_LOCK* lock) { os->Table->FreeSpinLock(lock); }

}  // namespace zelnic::hal
