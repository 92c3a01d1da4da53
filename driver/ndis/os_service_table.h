#pragma once
// The OS-service table: the only road from the station core and the chip layer to NDIS.
// Memory, locks, lists, packets, timers, PCI and indications reach them through its 51
// slots, so a port of the two lower layers replaces this table and nothing else. Every
// slot takes the OsLayer (or, for list and lock slots, the object itself) first and
// returns an internal status code (status_codes.h) where it returns anything.
#include "platform/ndis/ndis.h"

struct AdapterContainer;
struct OsLayer;

// --- records the slots work on ----------------------------------------------------------------

// An element of a locked list that is linked at its start.
struct ListLink {
  ListLink* Next;
};

// {head, tail, lock, count}; elements are linked at their start (slots 17, 18) or, for
// send descriptors, through SendDescriptor::Link (slots 21, 22).
struct LockedList {
  void* Head;
  void* Tail;
  NDIS_SPIN_LOCK Lock;
  ULONG Count;
};

// One NDIS buffer of a packet being sent; linked at its start like any list element.
struct FragmentNode {
  ListLink Link;
  PVOID VirtualAddress;
  ULONG Length;
};

inline FragmentNode* NextFragment(const FragmentNode* node) {
  return reinterpret_cast<FragmentNode*>(node->Link.Next);
}

// A packet on its way down: what QueryPacketFragments builds and CompleteSend takes back.
struct SendDescriptor {
  PNDIS_PACKET Packet;
  PVOID Owner;               // the owner's context
  LONG References;           // 1 when built
  FragmentNode* Fragments;   // one node per NDIS buffer, in order
  ULONG FragmentCount;
  ULONG TotalLength;
  ULONG Flags;               // the core's and the chip layer's own marks
  PVOID Frame;               // a frame the driver built itself, when it sends one
  SendDescriptor* Link;      // the descriptor list's link
};

// Received bytes to hand up, in the receive packet that will carry them.
struct ReceiveIndication {
  PNDIS_PACKET Packet;
  NDIS_HANDLE BufferPool;  // where the NDIS buffer for the bytes comes from
  PVOID Data;
  ULONG Length;
  PVOID ReceiveRecord;     // given back through ReturnReceiveBuffer when NDIS returns the packet
};

// Shared (DMA) memory: the physical address that Allocate returns and Free needs.
struct SharedMemoryInfo {
  NDIS_PHYSICAL_ADDRESS Physical;
};

// A timer the caller fills; when it fires, the trampoline calls Callback with the record.
struct OsTimerRecord {
  OsLayer* Os;
  PNDIS_MINIPORT_TIMER Timer;
  void (*Callback)(OsTimerRecord* record);
  ULONG PeriodMs;
  UCHAR Periodic;
  PVOID Context;
};

constexpr ULONG kMaxResourceRanges = 10;

// The adapter's resources as GetAdapterResources found and claimed them.
struct AdapterResources {
  void (*Release)(AdapterResources* resources);
  OsLayer* Os;
  USHORT VendorId;
  USHORT DeviceId;
  ULONG SubsystemId;
  ULONG SlotNumber;
  NDIS_MINIPORT_INTERRUPT Interrupt;
  BOOLEAN InterruptRegistered;
  ULONG InterruptLevel;
  ULONG InterruptVector;
  ULONG WindowCount;  // memory windows, window 0 first
  struct {
    PVOID Virtual;
    NDIS_PHYSICAL_ADDRESS Physical;
    ULONG Length;
  } Windows[kMaxResourceRanges];
  ULONG PortCount;
  struct {
    UINT First;
    UINT Count;
    PVOID Offset;
  } Ports[kMaxResourceRanges];
};

// Allocate flags.
constexpr ULONG kAllocateShared = 0x1;  // non-cached shared memory (bit 1 must be clear)

// Tags of the driver's pool memory.
constexpr ULONG kTagMiniportContext = NdisTag("IXNA");
constexpr ULONG kTagContainer = NdisTag("IXCB");
constexpr ULONG kTagOsLayer = NdisTag("OSOB");
constexpr ULONG kTagServiceTable = NdisTag("OSVT");

// Send-path list storage.
constexpr ULONG kFragmentNodeCount = 320;
constexpr ULONG kSendDescriptorCount = 64;

// --- the table ---------------------------------------------------------------------------------

struct OsServiceTable {
  ULONG (*Allocate)(OsLayer* os, PVOID* address, ULONG size, ULONG flags, SharedMemoryInfo* info);  // 0
  void (*Free)(OsLayer* os, PVOID address, ULONG size, ULONG flags, SharedMemoryInfo* info);         // 1
  void (*Empty2)();
  void (*Empty3)();
  void (*Empty4)();
  void (*Empty5)();
  void (*Empty6)();
  void (*Empty7)();
  void (*Empty8)();
  void (*Empty9)();
  void (*NoOperation10)(OsLayer* os, PVOID, PVOID, PVOID, PVOID, PVOID);  // 10
  void (*AllocateSpinLock)(PNDIS_SPIN_LOCK lock);                         // 11
  void (*AcquireSpinLock)(PNDIS_SPIN_LOCK lock);                          // 12
  void (*ReleaseSpinLock)(PNDIS_SPIN_LOCK lock);                          // 13
  void (*FreeSpinLock)(PNDIS_SPIN_LOCK lock);                             // 14
  void (*InitList)(LockedList* list);                                     // 15
  void (*FreeList)(LockedList* list);                                     // 16
  void (*AppendChain)(LockedList* list, ListLink* chain);                 // 17
  ListLink* (*PopHead)(LockedList* list);                                 // 18
  void (*InitRecordList)(LockedList* list);                               // 19: same as 15
  void (*FreeRecordList)(LockedList* list);                               // 20: same as 16
  void (*AppendRecord)(LockedList* list, SendDescriptor* record);         // 21
  SendDescriptor* (*PopRecord)(LockedList* list);                         // 22
  ULONG (*CreatePacketPool)(OsLayer* os, PNDIS_HANDLE pool, ULONG count, ULONG overflow,
                            ULONG protocolReservedSize);                  // 23
  ULONG (*AllocatePacket)(OsLayer* os, NDIS_HANDLE pool, PNDIS_PACKET* packet);  // 24
  void (*ReinitPacket)(OsLayer* os, PNDIS_PACKET packet);                 // 25
  void (*FreePacket)(OsLayer* os, PNDIS_PACKET packet);                   // 26
  void (*FreePacketPool)(OsLayer* os, NDIS_HANDLE pool);                  // 27
  ULONG (*QueryPacketFragments)(OsLayer* os, PNDIS_PACKET packet, PVOID owner,
                                SendDescriptor** descriptor);             // 28
  void (*Empty29)();
  ULONG (*ReturnsZero30)(OsLayer* os, PVOID, PVOID, PVOID);               // 30
  ULONG (*ReturnsZero31)(OsLayer* os, PVOID);                             // 31
  BOOLEAN (*CheckPacketSize)(OsLayer* os, PNDIS_PACKET packet);           // 32
  ULONG (*IndicateReceive)(OsLayer* os, ReceiveIndication* indication);   // 33
  void (*CompleteSend)(OsLayer* os, SendDescriptor* descriptor, ULONG failed);  // 34
  LONG (*InterlockedIncrement)(PLONG value);                              // 35
  LONG (*InterlockedDecrement)(PLONG value);                              // 36
  void (*NoOperation37)(OsLayer* os);                                     // 37
  ULONG (*InitTimer)(OsLayer* os, OsTimerRecord* record);                 // 38
  void (*SetTimer)(OsLayer* os, OsTimerRecord* record);                   // 39
  BOOLEAN (*CancelTimer)(OsLayer* os, OsTimerRecord* record);             // 40
  void (*ClearTimer)(OsLayer* os, OsTimerRecord* record);                 // 41
  ULONG (*GetUptimeMs)(OsLayer* os);                                      // 42
  ULONG (*ReturnsZero43)(OsLayer* os, PVOID, PVOID);                      // 43
  ULONG (*ReturnsZero44)(OsLayer* os, PVOID, PVOID);                      // 44
  ULONG (*ReturnsZero45)(OsLayer* os, PVOID);                             // 45
  ULONG (*OpenFile)(OsLayer* os, PNDIS_HANDLE file, PVOID* mapped, PUINT length, PNDIS_STRING name);  // 46
  void (*CloseFile)(OsLayer* os, PNDIS_HANDLE file);                      // 47
  ULONG (*GetAdapterResources)(OsLayer* os, AdapterResources** resources);  // 48
  ULONG (*ReadPciConfig)(OsLayer* os, ULONG offset, PVOID buffer, ULONG length);  // 49
  void (*Destroy)(OsLayer* os);                                           // 50
};
static_assert(sizeof(OsServiceTable) == 51 * sizeof(void (*)()));

struct OsLayer {
  OsServiceTable* Table;
  NDIS_SPIN_LOCK Lock;
  LockedList FragmentNodes;    // free fragment nodes of the send path
  LockedList SendDescriptors;  // free send descriptors
  FragmentNode* FragmentStorage;
  SendDescriptor* DescriptorStorage;
  AdapterContainer* Container;
  // The chip layer's list of raw-frame packets (linked through their reserved area), where
  // CompleteSend puts a finished raw frame back.
  LockedList* RawFramePackets;
};

// Creates the OS layer of an adapter; StatusFailure (nothing left allocated) when memory
// runs out.
ULONG CreateOsLayer(AdapterContainer* container, OsLayer** os);

// The send path's fragment-node and descriptor lists (the chip layer creates them at its
// creation and frees them at its end; Destroy frees them too if they are still there).
ULONG CreateSendPathLists(OsLayer* os);
void FreeSendPathLists(OsLayer* os);
