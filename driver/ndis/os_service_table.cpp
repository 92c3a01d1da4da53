// The OS-service table's slots: memory, locks, lists, packets, timers and indications.
// (Resources and PCI are in os_adapter_resources.cpp.)
#include "driver/ndis/os_service_table.h"

#include "driver/ndis/miniport_context.h"
#include "driver/ndis/packet_reserved.h"
#include "driver/ndis/shell_links.h"
#include "driver/ndis/status_codes.h"

ULONG GetAdapterResources(OsLayer* os, AdapterResources** resources);
ULONG ReadPciConfig(OsLayer* os, ULONG offset, PVOID buffer, ULONG length);

namespace {

constexpr ULONG kRawFrameSentEvent = 133;
constexpr ULONG kMaximumFrameLength = 1514;

NDIS_HANDLE AdapterHandleOf(OsLayer* os) { return os->Container->MiniportAdapterHandle; }

// --- memory --------------------------------------------------------------------------------------

ULONG Allocate(OsLayer* os, PVOID* address, ULONG size, ULONG flags, SharedMemoryInfo* info) {
  if (address == nullptr || size == 0) return StatusBadArgument;
  *address = nullptr;
  if (flags == 0) {
    if (NdisAllocateMemoryWithTag(address, size, kTagContainer) != NDIS_STATUS_SUCCESS || *address == nullptr) {
      *address = nullptr;
      return StatusResources;
    }
    NdisZeroMemory(*address, size);
    return StatusSuccess;
  }
  if ((flags & 0x3) != kAllocateShared || info == nullptr) return StatusBadArgument;
  NdisMAllocateSharedMemory(AdapterHandleOf(os), size, FALSE, address, &info->Physical);
  if (*address == nullptr) return StatusResources;
  NdisZeroMemory(*address, size);
  return StatusSuccess;
}

void Free(OsLayer* os, PVOID address, ULONG size, ULONG flags, SharedMemoryInfo* info) {
  if (address == nullptr || size == 0) return;
  if (flags == 0) {
    NdisFreeMemory(address, size, 0);
  } else if ((flags & kAllocateShared) != 0 && info != nullptr) {
    NdisMFreeSharedMemory(AdapterHandleOf(os), size, FALSE, address, info->Physical);
  }
}

void NoOperation10(OsLayer*, PVOID, PVOID, PVOID, PVOID, PVOID) {}

// --- locked lists --------------------------------------------------------------------------------

void InitList(LockedList* list) {
  list->Head = nullptr;
  list->Tail = nullptr;
  list->Count = 0;
  NdisAllocateSpinLock(&list->Lock);
}

void FreeList(LockedList* list) {
  list->Head = nullptr;
  list->Tail = nullptr;
  NdisFreeSpinLock(&list->Lock);
}

void AppendChain(LockedList* list, ListLink* chain) {
  if (chain == nullptr) return;
  ListLink* last = chain;
  ULONG length = 1;
  while (last->Next != nullptr) {
    last = last->Next;
    ++length;
  }
  NdisAcquireSpinLock(&list->Lock);
  if (list->Tail != nullptr) {
    static_cast<ListLink*>(list->Tail)->Next = chain;
  } else {
    list->Head = chain;
  }
  list->Tail = last;
  list->Count += length;
  NdisReleaseSpinLock(&list->Lock);
}

ListLink* PopHead(LockedList* list) {
  NdisAcquireSpinLock(&list->Lock);
  auto* head = static_cast<ListLink*>(list->Head);
  if (head == nullptr) {
    list->Tail = nullptr;
    NdisReleaseSpinLock(&list->Lock);
    return nullptr;
  }
  list->Head = head->Next;
  if (list->Head == nullptr) list->Tail = nullptr;
  --list->Count;
  NdisReleaseSpinLock(&list->Lock);
  head->Next = nullptr;
  return head;
}

void AppendRecord(LockedList* list, SendDescriptor* record) {
  record->Link = nullptr;
  NdisAcquireSpinLock(&list->Lock);
  if (list->Tail != nullptr) {
    static_cast<SendDescriptor*>(list->Tail)->Link = record;
  } else {
    list->Head = record;
  }
  list->Tail = record;
  ++list->Count;
  NdisReleaseSpinLock(&list->Lock);
}

SendDescriptor* PopRecord(LockedList* list) {
  NdisAcquireSpinLock(&list->Lock);
  auto* head = static_cast<SendDescriptor*>(list->Head);
  if (head == nullptr) {
    list->Tail = nullptr;
    NdisReleaseSpinLock(&list->Lock);
    return nullptr;
  }
  list->Head = head->Link;
  if (list->Head == nullptr) list->Tail = nullptr;
  --list->Count;
  NdisReleaseSpinLock(&list->Lock);
  head->Link = nullptr;
  return head;
}

// --- packets -------------------------------------------------------------------------------------

ULONG CreatePacketPool(OsLayer*, PNDIS_HANDLE pool, ULONG count, ULONG overflow, ULONG protocolReservedSize) {
  *pool = nullptr;
  if (count == 0 || static_cast<ULONGLONG>(count) + overflow > 0xFFFF) return StatusBadArgument;
  NDIS_STATUS status;
  NdisAllocatePacketPoolEx(&status, pool, count, overflow, protocolReservedSize);
  if (status != NDIS_STATUS_SUCCESS) {
    *pool = nullptr;
    return StatusResources;
  }
  return StatusSuccess;
}

ULONG AllocatePacket(OsLayer*, NDIS_HANDLE pool, PNDIS_PACKET* packet) {
  NDIS_STATUS status;
  NdisAllocatePacket(&status, packet, pool);
  if (status != NDIS_STATUS_SUCCESS) {
    *packet = nullptr;
    return StatusResources;
  }
  return StatusSuccess;
}

void ReinitPacket(OsLayer*, PNDIS_PACKET packet) { NdisReinitializePacket(packet); }

void FreePacket(OsLayer*, PNDIS_PACKET packet) {
  if (packet != nullptr) NdisFreePacket(packet);
}

void FreePacketPool(OsLayer*, NDIS_HANDLE pool) {
  if (pool != nullptr) NdisFreePacketPool(pool);
}

void ReturnFragments(OsLayer* os, SendDescriptor* descriptor) {
  if (descriptor->Fragments != nullptr) AppendChain(&os->FragmentNodes, &descriptor->Fragments->Link);
  descriptor->Fragments = nullptr;
  descriptor->FragmentCount = 0;
}

// Describes the packet's buffers for the send path. A packet whose description cannot be
// completed (no descriptor or not enough fragment nodes) gives back what it took.
ULONG QueryPacketFragments(OsLayer* os, PNDIS_PACKET packet, PVOID owner, SendDescriptor** out) {
  *out = nullptr;
  if (packet == nullptr) return StatusBadArgument;
  SendDescriptor* descriptor = PopRecord(&os->SendDescriptors);
  if (descriptor == nullptr) return StatusResources;
  descriptor->Packet = packet;
  descriptor->Owner = owner;
  descriptor->References = 1;
  descriptor->Fragments = nullptr;
  descriptor->FragmentCount = 0;
  descriptor->Flags = 0;
  descriptor->Frame = nullptr;

  if (!packet->Private.ValidCounts) {
    UINT pages = 0, count = 0, total = 0;
    for (PNDIS_BUFFER buffer = packet->Private.Head; buffer != nullptr; NdisGetNextBuffer(buffer, &buffer)) {
      UINT offset, length;
      NdisQueryBufferOffset(buffer, &offset, &length);
      pages += (offset + length + NDIS_PAGE_SIZE - 1) / NDIS_PAGE_SIZE;
      total += length;
      ++count;
    }
    packet->Private.PhysicalCount = pages;
    packet->Private.Count = count;
    packet->Private.TotalLength = total;
    packet->Private.ValidCounts = TRUE;
  }
  descriptor->TotalLength = packet->Private.TotalLength;

  FragmentNode* tail = nullptr;
  for (PNDIS_BUFFER buffer = packet->Private.Head; buffer != nullptr; NdisGetNextBuffer(buffer, &buffer)) {
    auto* node = reinterpret_cast<FragmentNode*>(PopHead(&os->FragmentNodes));
    if (node == nullptr) {
      ReturnFragments(os, descriptor);
      AppendRecord(&os->SendDescriptors, descriptor);
      return StatusResources;
    }
    UINT length;
    NdisQueryBufferSafe(buffer, &node->VirtualAddress, &length, NormalPagePriority);
    node->Length = length;
    node->Link.Next = nullptr;
    if (tail != nullptr) {
      tail->Link.Next = &node->Link;
    } else {
      descriptor->Fragments = node;
    }
    tail = node;
    ++descriptor->FragmentCount;
  }
  *out = descriptor;
  return StatusSuccess;
}

ULONG ReturnsZero30(OsLayer*, PVOID, PVOID, PVOID) { return 0; }
ULONG ReturnsZero31(OsLayer*, PVOID) { return 0; }

BOOLEAN CheckPacketSize(OsLayer*, PNDIS_PACKET packet) {
  UINT total = 0;
  NdisQueryPacket(packet, nullptr, nullptr, nullptr, &total);
  return total >= 1 && total <= kMaximumFrameLength ? TRUE : FALSE;
}

ULONG IndicateReceive(OsLayer* os, ReceiveIndication* indication) {
  if (indication == nullptr || indication->Packet == nullptr) return StatusBadArgument;
  PNDIS_PACKET packet = indication->Packet;
  NDIS_STATUS status;
  PNDIS_BUFFER buffer = nullptr;
  NdisAllocateBuffer(&status, &buffer, indication->BufferPool, indication->Data, indication->Length);
  if (status != NDIS_STATUS_SUCCESS) return StatusResources;
  NdisChainBufferAtBack(packet, buffer);
  packet->Private.ValidCounts = FALSE;
  ReservedOf(packet)->ReceiveRecord = indication->ReceiveRecord;
  NDIS_SET_PACKET_STATUS(packet, NDIS_STATUS_SUCCESS);
  NdisMIndicateReceivePacket(AdapterHandleOf(os), &packet, 1);
  return StatusSuccess;
}

// Gives the descriptor and its fragment nodes back and completes the packet: a raw frame
// of the driver's own goes back on its list with an event to user mode; anything else
// goes back to NDIS.
void CompleteSend(OsLayer* os, SendDescriptor* descriptor, ULONG failed) {
  if (descriptor == nullptr) return;
  PNDIS_PACKET packet = descriptor->Packet;
  ReturnFragments(os, descriptor);
  descriptor->Packet = nullptr;
  AppendRecord(&os->SendDescriptors, descriptor);
  if (packet == nullptr) return;
  if (IsRawFramePacket(packet)) {
    const USHORT requestTag = ReservedOf(packet)->Raw.RequestTag;
    if (Links().PostUtilityEvent != nullptr) Links().PostUtilityEvent(kRawFrameSentEvent, &requestTag, sizeof requestTag);
    if (os->RawFramePackets != nullptr) {
      ReservedOf(packet)->Link.Next = nullptr;
      AppendChain(os->RawFramePackets, &ReservedOf(packet)->Link);
    }
    return;
  }
  const NDIS_STATUS status = failed ? NDIS_STATUS_FAILURE : NDIS_STATUS_SUCCESS;
  NDIS_SET_PACKET_STATUS(packet, status);
  NdisMSendComplete(AdapterHandleOf(os), packet, status);
}

LONG InterlockedIncrement(PLONG value) { return NdisInterlockedIncrement(value); }
LONG InterlockedDecrement(PLONG value) { return NdisInterlockedDecrement(value); }
void NoOperation37(OsLayer*) {}

// --- timers and time -----------------------------------------------------------------------------

void TimerTrampoline(PVOID, PVOID context, PVOID, PVOID) {
  auto* record = static_cast<OsTimerRecord*>(context);
  if (record == nullptr || record->Callback == nullptr) return;
  record->Callback(record);
}

ULONG InitTimer(OsLayer* os, OsTimerRecord* record) {
  if (os == nullptr || record == nullptr || record->Timer == nullptr) return StatusBadArgument;
  record->Os = os;
  NdisMInitializeTimer(record->Timer, AdapterHandleOf(os), &TimerTrampoline, record);
  return StatusSuccess;
}

void SetTimer(OsLayer*, OsTimerRecord* record) {
  if (record == nullptr || record->Timer == nullptr) return;
  if (record->Periodic) {
    NdisMSetPeriodicTimer(record->Timer, record->PeriodMs);
  } else {
    NdisSetTimer(record->Timer, record->PeriodMs);
  }
}

BOOLEAN CancelTimer(OsLayer*, OsTimerRecord* record) {
  BOOLEAN cancelled = FALSE;
  if (record != nullptr && record->Timer != nullptr) NdisMCancelTimer(record->Timer, &cancelled);
  return cancelled;
}

void ClearTimer(OsLayer*, OsTimerRecord* record) {
  if (record != nullptr) record->Timer = nullptr;
}

ULONG GetUptimeMs(OsLayer*) {
  ULONG uptime = 0;
  NdisGetSystemUpTime(&uptime);
  return uptime;
}

ULONG ReturnsZero43(OsLayer*, PVOID, PVOID) { return 0; }
ULONG ReturnsZero44(OsLayer*, PVOID, PVOID) { return 0; }
ULONG ReturnsZero45(OsLayer*, PVOID) { return 0; }

// --- files ---------------------------------------------------------------------------------------

constexpr NDIS_STATUS NDIS_STATUS_ALREADY_MAPPED = NdisStatus(0xC001001D);

ULONG OpenFile(OsLayer*, PNDIS_HANDLE file, PVOID* mapped, PUINT length, PNDIS_STRING name) {
  NDIS_PHYSICAL_ADDRESS highest;
  highest.QuadPart = -1;
  NDIS_STATUS status;
  NdisOpenFile(&status, file, length, name, highest);
  if (status != NDIS_STATUS_SUCCESS) return status == NDIS_STATUS_FILE_NOT_FOUND ? StatusFileNotFound : StatusFileFailure;
  NdisMapFile(&status, mapped, *file);
  if (status == NDIS_STATUS_SUCCESS) return StatusSuccess;
  NdisCloseFile(*file);
  *file = nullptr;
  return status == NDIS_STATUS_ALREADY_MAPPED ? StatusFileMapped : StatusFileFailure;
}

void CloseFile(OsLayer*, PNDIS_HANDLE file) {
  if (file == nullptr || *file == nullptr) return;
  NdisUnmapFile(*file);
  NdisCloseFile(*file);
  *file = nullptr;
}

void Destroy(OsLayer* os) {
  if (os == nullptr) return;
  FreeSendPathLists(os);
  NdisFreeSpinLock(&os->Lock);
  NdisFreeMemory(os->Table, sizeof(OsServiceTable), 0);
  NdisFreeMemory(os, sizeof(OsLayer), 0);
}

const OsServiceTable kSlots = {
    Allocate,       Free,          nullptr,         nullptr,          nullptr,         nullptr,
    nullptr,        nullptr,       nullptr,         nullptr,          NoOperation10,   NdisAllocateSpinLock,
    NdisAcquireSpinLock, NdisReleaseSpinLock, NdisFreeSpinLock, InitList, FreeList,   AppendChain,
    PopHead,        InitList,      FreeList,        AppendRecord,     PopRecord,       CreatePacketPool,
    AllocatePacket, ReinitPacket,  FreePacket,      FreePacketPool,   QueryPacketFragments, nullptr,
    ReturnsZero30,  ReturnsZero31, CheckPacketSize, IndicateReceive,  CompleteSend,    InterlockedIncrement,
    InterlockedDecrement, NoOperation37, InitTimer, SetTimer,         CancelTimer,     ClearTimer,
    GetUptimeMs,    ReturnsZero43, ReturnsZero44,   ReturnsZero45,    OpenFile,        CloseFile,
    GetAdapterResources, ReadPciConfig, Destroy,
};

}  // namespace

ULONG CreateOsLayer(AdapterContainer* container, OsLayer** out) {
  *out = nullptr;
  PVOID layer = nullptr, table = nullptr;
  if (NdisAllocateMemoryWithTag(&layer, sizeof(OsLayer), kTagOsLayer) != NDIS_STATUS_SUCCESS) return StatusFailure;
  if (NdisAllocateMemoryWithTag(&table, sizeof(OsServiceTable), kTagServiceTable) != NDIS_STATUS_SUCCESS) {
    NdisFreeMemory(layer, sizeof(OsLayer), 0);
    return StatusFailure;
  }
  NdisZeroMemory(layer, sizeof(OsLayer));
  NdisZeroMemory(table, sizeof(OsServiceTable));
  auto* os = static_cast<OsLayer*>(layer);
  os->Table = static_cast<OsServiceTable*>(table);
  *os->Table = kSlots;
  os->Container = container;
  NdisAllocateSpinLock(&os->Lock);
  *out = os;
  return StatusSuccess;
}

ULONG CreateSendPathLists(OsLayer* os) {
  if (os->FragmentStorage != nullptr || os->DescriptorStorage != nullptr) return StatusSuccess;
  PVOID nodes = nullptr, descriptors = nullptr;
  if (Allocate(os, &nodes, kFragmentNodeCount * sizeof(FragmentNode), 0, nullptr) != StatusSuccess) {
    return StatusResources;
  }
  if (Allocate(os, &descriptors, kSendDescriptorCount * sizeof(SendDescriptor), 0, nullptr) != StatusSuccess) {
    Free(os, nodes, kFragmentNodeCount * sizeof(FragmentNode), 0, nullptr);
    return StatusResources;
  }
  os->FragmentStorage = static_cast<FragmentNode*>(nodes);
  os->DescriptorStorage = static_cast<SendDescriptor*>(descriptors);
  InitList(&os->FragmentNodes);
  InitList(&os->SendDescriptors);
  for (ULONG i = 0; i < kFragmentNodeCount; ++i) {
    AppendChain(&os->FragmentNodes, &os->FragmentStorage[i].Link);
  }
  for (ULONG i = 0; i < kSendDescriptorCount; ++i) AppendRecord(&os->SendDescriptors, &os->DescriptorStorage[i]);
  return StatusSuccess;
}

void FreeSendPathLists(OsLayer* os) {
  if (os->FragmentStorage == nullptr) return;
  FreeList(&os->FragmentNodes);
  FreeList(&os->SendDescriptors);
  Free(os, os->FragmentStorage, kFragmentNodeCount * sizeof(FragmentNode), 0, nullptr);
  Free(os, os->DescriptorStorage, kSendDescriptorCount * sizeof(SendDescriptor), 0, nullptr);
  os->FragmentStorage = nullptr;
  os->DescriptorStorage = nullptr;
}
