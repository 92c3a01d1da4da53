#pragma once
// How the driver uses a packet's MiniportReserved area while the packet is its own.
#include <cstddef>

#include "driver/ndis/os_service_table.h"
#include "platform/ndis/ndis.h"

struct PacketReserved {
  // Link of the shell's pending-send queue, and of the chip layer's raw-frame list (a
  // packet is on at most one of them).
  ListLink Link;
  union {
    struct {
      ULONG OwnerTag;     // 0x87654300 + index on a driver-owned raw-frame packet
      USHORT RequestTag;  // the request's tag, reported when the raw frame completes
    } Raw;
    PVOID ReceiveRecord;  // a receive packet: the buffer record it carries
  };
};
static_assert(sizeof(PacketReserved) <= sizeof(NDIS_PACKET::MiniportReserved));

constexpr ULONG kRawFrameTagBase = 0x87654300;

inline PacketReserved* ReservedOf(PNDIS_PACKET packet) {
  return reinterpret_cast<PacketReserved*>(packet->MiniportReserved);
}

inline PNDIS_PACKET PacketOfLink(ListLink* link) {
  return reinterpret_cast<PNDIS_PACKET>(reinterpret_cast<UCHAR*>(link) - offsetof(NDIS_PACKET, MiniportReserved));
}

inline bool IsRawFramePacket(PNDIS_PACKET packet) {
  return (ReservedOf(packet)->Raw.OwnerTag & 0xFFFFFF00u) == kRawFrameTagBase;
}
