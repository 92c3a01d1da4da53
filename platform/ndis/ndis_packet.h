#pragma once
// Packets and buffers: an NDIS_PACKET describes one frame as a chain of NDIS_BUFFERs, each
// a run of virtually contiguous bytes. The layouts are the runtime's own, by meaning; a
// miniport uses the fields that NDIS 5.1 lets it use (Private counts and chain,
// MiniportReserved, the out-of-band status and header size) and the calls below.
#include "platform/ndis/ndis_types.h"

constexpr UINT NDIS_PAGE_SIZE = 4096;

struct NDIS_BUFFER {
  NDIS_BUFFER* Next;
  PVOID VirtualAddress;
  UINT ByteCount;
  NDIS_HANDLE Pool;  // the buffer pool it came from
};
using PNDIS_BUFFER = NDIS_BUFFER*;

struct NDIS_PACKET_PRIVATE {
  UINT PhysicalCount;  // pages spanned by the buffers
  UINT TotalLength;
  PNDIS_BUFFER Head;
  PNDIS_BUFFER Tail;
  NDIS_HANDLE Pool;
  UINT Count;           // buffers in the chain
  ULONG Flags;
  BOOLEAN ValidCounts;  // PhysicalCount, TotalLength and Count are up to date
  UCHAR NdisPacketFlags;
  USHORT NdisPacketOobOffset;
};

struct NDIS_PACKET_OOB_DATA {
  ULONGLONG TimeToSend;
  ULONGLONG TimeSent;
  UINT HeaderSize;
  UINT SizeMediaSpecificInfo;
  PVOID MediaSpecificInformation;
  NDIS_STATUS Status;
};

struct NDIS_PACKET {
  NDIS_PACKET_PRIVATE Private;
  UCHAR MiniportReserved[2 * sizeof(PVOID)];
  UCHAR MiniportReservedEx[3 * sizeof(PVOID)];
  UCHAR WrapperReserved[2 * sizeof(PVOID)];
  NDIS_PACKET_OOB_DATA Oob;
  UCHAR ProtocolReserved[1];  // as long as the pool's protocol-reserved length
};
using PNDIS_PACKET = NDIS_PACKET*;
using PPNDIS_PACKET = NDIS_PACKET**;

enum MM_PAGE_PRIORITY { LowPagePriority = 0, NormalPagePriority = 16, HighPagePriority = 32 };

// Pages that [virtualAddress, virtualAddress + length) touches, as NDIS counts them (an
// empty run still counts the page it starts in).
inline UINT NdisSpanPages(const void* virtualAddress, UINT length) {
  const auto offset = static_cast<UINT>(reinterpret_cast<ULONG_PTR>(virtualAddress) & (NDIS_PAGE_SIZE - 1));
  return (offset + length + NDIS_PAGE_SIZE - 1) / NDIS_PAGE_SIZE;
}
#define ADDRESS_AND_SIZE_TO_SPAN_PAGES(va, size) NdisSpanPages((va), (size))

// Pools and allocation (the runtime accounts for every packet and buffer).
void NdisAllocatePacketPool(PNDIS_STATUS Status, PNDIS_HANDLE PoolHandle, UINT NumberOfDescriptors,
                            UINT ProtocolReservedLength);
void NdisAllocatePacketPoolEx(PNDIS_STATUS Status, PNDIS_HANDLE PoolHandle, UINT NumberOfDescriptors,
                              UINT NumberOfOverflowDescriptors, UINT ProtocolReservedLength);
void NdisFreePacketPool(NDIS_HANDLE PoolHandle);
void NdisAllocatePacket(PNDIS_STATUS Status, PNDIS_PACKET* Packet, NDIS_HANDLE PoolHandle);
void NdisFreePacket(PNDIS_PACKET Packet);
UINT NdisPacketPoolUsage(NDIS_HANDLE PoolHandle);
void NdisAllocateBufferPool(PNDIS_STATUS Status, PNDIS_HANDLE PoolHandle, UINT NumberOfDescriptors);
void NdisFreeBufferPool(NDIS_HANDLE PoolHandle);
void NdisAllocateBuffer(PNDIS_STATUS Status, PNDIS_BUFFER* Buffer, NDIS_HANDLE PoolHandle,
                        PVOID VirtualAddress, UINT Length);
void NdisFreeBuffer(PNDIS_BUFFER Buffer);

// The calls that NDIS defines as macros over the packet's own fields.
inline void NdisReinitializePacket(PNDIS_PACKET packet) {
  packet->Private.Head = nullptr;
  packet->Private.Tail = nullptr;
  packet->Private.Count = 0;
  packet->Private.PhysicalCount = 0;
  packet->Private.TotalLength = 0;
  packet->Private.ValidCounts = FALSE;
}

inline void NdisChainBufferAtBack(PNDIS_PACKET packet, PNDIS_BUFFER buffer) {
  PNDIS_BUFFER last = buffer;
  while (last->Next != nullptr) last = last->Next;
  if (packet->Private.Head == nullptr) {
    packet->Private.Head = buffer;
  } else {
    packet->Private.Tail->Next = buffer;
  }
  packet->Private.Tail = last;
  packet->Private.ValidCounts = FALSE;
}

inline void NdisChainBufferAtFront(PNDIS_PACKET packet, PNDIS_BUFFER buffer) {
  PNDIS_BUFFER last = buffer;
  while (last->Next != nullptr) last = last->Next;
  last->Next = packet->Private.Head;
  if (packet->Private.Head == nullptr) packet->Private.Tail = last;
  packet->Private.Head = buffer;
  packet->Private.ValidCounts = FALSE;
}

inline void NdisQueryPacket(PNDIS_PACKET packet, PUINT physicalBufferCount, PUINT bufferCount,
                            PNDIS_BUFFER* firstBuffer, PUINT totalPacketLength) {
  if (!packet->Private.ValidCounts) {
    UINT pages = 0, count = 0, total = 0;
    for (PNDIS_BUFFER b = packet->Private.Head; b != nullptr; b = b->Next) {
      pages += NdisSpanPages(b->VirtualAddress, b->ByteCount);
      total += b->ByteCount;
      ++count;
    }
    packet->Private.PhysicalCount = pages;
    packet->Private.Count = count;
    packet->Private.TotalLength = total;
    packet->Private.ValidCounts = TRUE;
  }
  if (physicalBufferCount != nullptr) *physicalBufferCount = packet->Private.PhysicalCount;
  if (bufferCount != nullptr) *bufferCount = packet->Private.Count;
  if (firstBuffer != nullptr) *firstBuffer = packet->Private.Head;
  if (totalPacketLength != nullptr) *totalPacketLength = packet->Private.TotalLength;
}

inline void NdisGetFirstBufferFromPacketSafe(PNDIS_PACKET packet, PNDIS_BUFFER* firstBuffer,
                                             PVOID* firstBufferVa, PUINT firstBufferLength,
                                             PUINT totalBufferLength, MM_PAGE_PRIORITY) {
  PNDIS_BUFFER first = packet->Private.Head;
  *firstBuffer = first;
  *firstBufferVa = first != nullptr ? first->VirtualAddress : nullptr;
  *firstBufferLength = first != nullptr ? first->ByteCount : 0;
  UINT total = 0;
  for (PNDIS_BUFFER b = first; b != nullptr; b = b->Next) total += b->ByteCount;
  *totalBufferLength = total;
}

inline void NdisGetNextBuffer(PNDIS_BUFFER current, PNDIS_BUFFER* next) { *next = current->Next; }

inline void NdisQueryBufferSafe(PNDIS_BUFFER buffer, PVOID* virtualAddress, PUINT length,
                                MM_PAGE_PRIORITY) {
  if (virtualAddress != nullptr) *virtualAddress = buffer->VirtualAddress;
  *length = buffer->ByteCount;
}

inline void NdisQueryBuffer(PNDIS_BUFFER buffer, PVOID* virtualAddress, PUINT length) {
  NdisQueryBufferSafe(buffer, virtualAddress, length, NormalPagePriority);
}

// Offset of the data inside its first page, and its length.
inline void NdisQueryBufferOffset(PNDIS_BUFFER buffer, PUINT offset, PUINT length) {
  *offset = static_cast<UINT>(reinterpret_cast<ULONG_PTR>(buffer->VirtualAddress) & (NDIS_PAGE_SIZE - 1));
  *length = buffer->ByteCount;
}

inline void NdisAdjustBufferLength(PNDIS_BUFFER buffer, UINT length) { buffer->ByteCount = length; }

inline void NDIS_SET_PACKET_STATUS(PNDIS_PACKET packet, NDIS_STATUS status) { packet->Oob.Status = status; }
inline NDIS_STATUS NDIS_GET_PACKET_STATUS(PNDIS_PACKET packet) { return packet->Oob.Status; }
inline void NDIS_SET_PACKET_HEADER_SIZE(PNDIS_PACKET packet, UINT size) { packet->Oob.HeaderSize = size; }
inline UINT NDIS_GET_PACKET_HEADER_SIZE(PNDIS_PACKET packet) { return packet->Oob.HeaderSize; }
