// Pool memory, shared memory and the memory helpers.
#include <cstring>

#include "platform/ndis/adapter_runtime.h"

using ndis::AdapterRuntime;
using ndis::MemoryLedger;
using ndis::RequestKind;

NDIS_STATUS NdisAllocateMemoryWithTag(PVOID* VirtualAddress, UINT Length, ULONG Tag) {
  AdapterRuntime& adapter = ndis::RequireAdapter("NdisAllocateMemoryWithTag");
  adapter.requireIrqlAtMost(DISPATCH_LEVEL, "NdisAllocateMemoryWithTag");
  *VirtualAddress = nullptr;
  if (adapter.refuse(RequestKind::Memory, Length, Tag)) return NDIS_STATUS_FAILURE;
  *VirtualAddress = adapter.memory().allocate(Length, Tag);
  return *VirtualAddress != nullptr ? NDIS_STATUS_SUCCESS : NDIS_STATUS_FAILURE;
}

NDIS_STATUS NdisAllocateMemory(PVOID* VirtualAddress, UINT Length, UINT, NDIS_PHYSICAL_ADDRESS) {
  return NdisAllocateMemoryWithTag(VirtualAddress, Length, NdisTag("NDIS"));
}

void NdisFreeMemory(PVOID VirtualAddress, UINT Length, UINT) {
  AdapterRuntime& adapter = ndis::RequireAdapter("NdisFreeMemory");
  adapter.requireIrqlAtMost(DISPATCH_LEVEL, "NdisFreeMemory");
  if (auto block = adapter.memory().blockAt(VirtualAddress)) {
    adapter.checkReleasedRange(VirtualAddress, block->length, "NdisFreeMemory");
  }
  switch (adapter.memory().free(VirtualAddress, Length)) {
    case MemoryLedger::FreeResult::Freed: break;
    case MemoryLedger::FreeResult::Unknown:
      adapter.violation("NdisFreeMemory of memory that is not allocated (double free or a stray pointer)");
      break;
    case MemoryLedger::FreeResult::WrongLength:
      adapter.violation("NdisFreeMemory with a length other than the allocation's");
      break;
  }
}

void NdisMAllocateSharedMemory(NDIS_HANDLE MiniportAdapterHandle, ULONG Length, BOOLEAN, PVOID* VirtualAddress,
                               PNDIS_PHYSICAL_ADDRESS PhysicalAddress) {
  AdapterRuntime& adapter = AdapterRuntime::fromMiniportHandle(MiniportAdapterHandle, "NdisMAllocateSharedMemory");
  adapter.requirePassive("NdisMAllocateSharedMemory");
  *VirtualAddress = nullptr;
  PhysicalAddress->QuadPart = 0;
  if (adapter.refuse(RequestKind::SharedMemory, Length)) return;
  auto block = adapter.dma().allocate(Length);
  if (!block) return;
  *VirtualAddress = block->virtualAddress;
  PhysicalAddress->QuadPart = block->physical;
}

void NdisMFreeSharedMemory(NDIS_HANDLE MiniportAdapterHandle, ULONG Length, BOOLEAN, PVOID VirtualAddress,
                           NDIS_PHYSICAL_ADDRESS PhysicalAddress) {
  AdapterRuntime& adapter = AdapterRuntime::fromMiniportHandle(MiniportAdapterHandle, "NdisMFreeSharedMemory");
  adapter.requirePassive("NdisMFreeSharedMemory");
  adapter.checkReleasedRange(VirtualAddress, Length, "NdisMFreeSharedMemory");
  if (PhysicalAddress.HighPart != 0 ||
      !adapter.dma().free(VirtualAddress, PhysicalAddress.LowPart, Length)) {
    adapter.violation("NdisMFreeSharedMemory of a block that does not match an allocation");
  }
}

void NdisMoveMemory(PVOID Destination, const void* Source, ULONG Length) {
  if (Length != 0) std::memmove(Destination, Source, Length);
}

void NdisZeroMemory(PVOID Destination, ULONG Length) {
  if (Length != 0) std::memset(Destination, 0, Length);
}

void NdisFillMemory(PVOID Destination, ULONG Length, UCHAR Fill) {
  if (Length != 0) std::memset(Destination, Fill, Length);
}

ULONG NdisEqualMemory(const void* Source1, const void* Source2, ULONG Length) {
  return Length == 0 || std::memcmp(Source1, Source2, Length) == 0 ? 1 : 0;
}
