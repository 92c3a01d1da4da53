#include "driver/hal/hal_os.h"

#include "driver/ndis/status_codes.h"

namespace zelnic::hal {

void* OsAllocate(OsLayer* os, std::size_t size) {
  PVOID memory = nullptr;
  if (os->Table->Allocate(os, &memory, static_cast<ULONG>(size), 0, nullptr) != StatusSuccess) return nullptr;
  return memory;
}

void OsFree(OsLayer* os, void* memory, std::size_t size) {
  os->Table->Free(os, memory, static_cast<ULONG>(size), 0, nullptr);
}

bool OsAllocateShared(OsLayer* os, std::size_t size, SharedBlock& block) {
  PVOID memory = nullptr;
  SharedMemoryInfo info{};
  if (os->Table->Allocate(os, &memory, static_cast<ULONG>(size), kAllocateShared, &info) != StatusSuccess)
    return false;
  block = SharedBlock{static_cast<std::uint8_t*>(memory), info.Physical.LowPart, size};
  return true;
}

void OsFreeShared(OsLayer* os, SharedBlock& block) {
  if (block.virtualAddress == nullptr) return;
  SharedMemoryInfo info{};
  info.Physical.QuadPart = block.physical;
  os->Table->Free(os, block.virtualAddress, static_cast<ULONG>(block.length), kAllocateShared, &info);
  block = SharedBlock{};
}

}  // namespace zelnic::hal
