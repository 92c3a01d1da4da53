// The queue of sends that wait for the chip, linked through each packet's reserved area.
#include "driver/core/core_adapter_ops.h"
#include "driver/ndis/miniport.h"
#include "driver/ndis/os_service_table.h"
#include "driver/ndis/packet_reserved.h"
#include "driver/ndis/status_codes.h"

namespace {

void AppendLocked(MiniportContext* context, PNDIS_PACKET packet) {
  ReservedOf(packet)->Link.Next = nullptr;
  if (context->PendingTail != nullptr) {
    ReservedOf(context->PendingTail)->Link.Next = &ReservedOf(packet)->Link;
  } else {
    context->PendingHead = packet;
  }
  context->PendingTail = packet;
  ++context->PendingCount;
}

PNDIS_PACKET PopLocked(MiniportContext* context) {
  PNDIS_PACKET packet = context->PendingHead;
  if (packet == nullptr) return nullptr;
  ListLink* next = ReservedOf(packet)->Link.Next;
  context->PendingHead = next != nullptr ? PacketOfLink(next) : nullptr;
  if (context->PendingHead == nullptr) context->PendingTail = nullptr;
  --context->PendingCount;
  ReservedOf(packet)->Link.Next = nullptr;
  return packet;
}

void PushFrontLocked(MiniportContext* context, PNDIS_PACKET packet) {
  ReservedOf(packet)->Link.Next = context->PendingHead != nullptr ? &ReservedOf(context->PendingHead)->Link : nullptr;
  context->PendingHead = packet;
  if (context->PendingTail == nullptr) context->PendingTail = packet;
  ++context->PendingCount;
}

}  // namespace

void QueuePendingSend(MiniportContext* context, PNDIS_PACKET packet) {
  NDIS_SET_PACKET_STATUS(packet, NDIS_STATUS_PENDING);
  NdisAcquireSpinLock(&context->Lock);
  AppendLocked(context, packet);
  NdisReleaseSpinLock(&context->Lock);
}

ULONG PendingSendCount(MiniportContext* context) { return context->PendingCount; }

BOOLEAN TakePendingSend(MiniportContext* context) {
  AdapterContainer* container = context->Container;
  if (container == nullptr) return FALSE;
  NdisAcquireSpinLock(&context->Lock);
  PNDIS_PACKET packet = PopLocked(context);
  NdisReleaseSpinLock(&context->Lock);
  if (packet == nullptr) return FALSE;
  OsLayer* os = container->Os;
  SendDescriptor* descriptor = nullptr;
  if (os->Table->QueryPacketFragments(os, packet, context, &descriptor) != StatusSuccess) {
    // No descriptor or fragment node is free now: the packet keeps its place.
    NdisAcquireSpinLock(&context->Lock);
    PushFrontLocked(context, packet);
    NdisReleaseSpinLock(&context->Lock);
    return FALSE;
  }
  CoreOps(container->Core).Send(container->Core, descriptor);
  return TRUE;
}

void MiniportSendPackets(NDIS_HANDLE handle, PPNDIS_PACKET packets, UINT count) {
  auto* context = static_cast<MiniportContext*>(handle);
  AdapterContainer* container = context->Container;
  if (context->State == MiniportRunning && context->Ready == kMiniportReady && container != nullptr &&
      Links().IsMediaConnected(container->Core)) {
    NdisAcquireSpinLock(&context->Lock);
    for (UINT i = 0; i < count; ++i) {
      NDIS_SET_PACKET_STATUS(packets[i], NDIS_STATUS_PENDING);
      // The reserved area of a packet from NDIS holds whatever it held: it must not look
      // like one of the driver's own raw frames.
      ReservedOf(packets[i])->Raw.OwnerTag = 0;
      AppendLocked(context, packets[i]);
    }
    NdisReleaseSpinLock(&context->Lock);
    Links().StartTransmit(container->Hal);
    return;
  }
  for (UINT i = 0; i < count; ++i) {
    NDIS_SET_PACKET_STATUS(packets[i], NDIS_STATUS_FAILURE);
    NdisMSendComplete(context->AdapterHandle, packets[i], NDIS_STATUS_FAILURE);
  }
}

// Completes every queued packet in queue order (halt, surprise removal). The driver's own
// raw frames go back to their list instead: NDIS never gave them to us.
void CompletePendingSends(MiniportContext* context, NDIS_STATUS status) {
  NdisAcquireSpinLock(&context->Lock);
  PNDIS_PACKET first = context->PendingHead;
  context->PendingHead = context->PendingTail = nullptr;
  context->PendingCount = 0;
  NdisReleaseSpinLock(&context->Lock);
  OsLayer* os = context->Container != nullptr ? context->Container->Os : nullptr;
  for (PNDIS_PACKET packet = first; packet != nullptr;) {
    ListLink* next = ReservedOf(packet)->Link.Next;
    ReservedOf(packet)->Link.Next = nullptr;
    if (IsRawFramePacket(packet)) {
      if (os != nullptr && os->RawFramePackets != nullptr) os->Table->AppendChain(os->RawFramePackets, &ReservedOf(packet)->Link);
    } else {
      NDIS_SET_PACKET_STATUS(packet, status);
      NdisMSendComplete(context->AdapterHandle, packet, status);
    }
    packet = next != nullptr ? PacketOfLink(next) : nullptr;
  }
}
