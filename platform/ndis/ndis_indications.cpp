// Indications and completions from the miniport.
#include <cstring>

#include "platform/ndis/adapter_runtime.h"

using ndis::AdapterRuntime;

void NdisMIndicateReceivePacket(NDIS_HANDLE MiniportAdapterHandle, PPNDIS_PACKET ReceivePackets, UINT NumberOfPackets) {
  AdapterRuntime& adapter = AdapterRuntime::fromMiniportHandle(MiniportAdapterHandle, "NdisMIndicateReceivePacket");
  adapter.requireIrqlAtMost(DISPATCH_LEVEL, "NdisMIndicateReceivePacket");
  adapter.indicateReceive(ReceivePackets, NumberOfPackets);
}

void NdisMSendComplete(NDIS_HANDLE MiniportAdapterHandle, PNDIS_PACKET Packet, NDIS_STATUS Status) {
  AdapterRuntime& adapter = AdapterRuntime::fromMiniportHandle(MiniportAdapterHandle, "NdisMSendComplete");
  adapter.requireIrqlAtMost(DISPATCH_LEVEL, "NdisMSendComplete");
  adapter.sendComplete(Packet, Status);
}

void NdisMIndicateStatus(NDIS_HANDLE MiniportAdapterHandle, NDIS_STATUS GeneralStatus, PVOID StatusBuffer,
                         UINT StatusBufferSize) {
  AdapterRuntime& adapter = AdapterRuntime::fromMiniportHandle(MiniportAdapterHandle, "NdisMIndicateStatus");
  adapter.requireIrqlAtMost(DISPATCH_LEVEL, "NdisMIndicateStatus");
  const auto* bytes = static_cast<const std::uint8_t*>(StatusBuffer);
  std::vector<std::uint8_t> payload;
  if (bytes != nullptr) payload.assign(bytes, bytes + StatusBufferSize);
  using Indications = AdapterRuntime::Indications;
  Indications::keepLatest(adapter.indications().status, Indications::kStatusKept,
                          ndis::StatusIndication{GeneralStatus, std::move(payload)});
}

void NdisMIndicateStatusComplete(NDIS_HANDLE MiniportAdapterHandle) {
  AdapterRuntime& adapter = AdapterRuntime::fromMiniportHandle(MiniportAdapterHandle, "NdisMIndicateStatusComplete");
  ++adapter.indications().statusCompletes;
}

void NdisMSetInformationComplete(NDIS_HANDLE MiniportAdapterHandle, NDIS_STATUS Status) {
  AdapterRuntime& adapter = AdapterRuntime::fromMiniportHandle(MiniportAdapterHandle, "NdisMSetInformationComplete");
  adapter.requestComplete(AdapterRuntime::PendingRequest::Set, Status);
}

void NdisMQueryInformationComplete(NDIS_HANDLE MiniportAdapterHandle, NDIS_STATUS Status) {
  AdapterRuntime& adapter = AdapterRuntime::fromMiniportHandle(MiniportAdapterHandle, "NdisMQueryInformationComplete");
  adapter.requestComplete(AdapterRuntime::PendingRequest::Query, Status);
}

void NdisMResetComplete(NDIS_HANDLE MiniportAdapterHandle, NDIS_STATUS Status, BOOLEAN AddressingReset) {
  AdapterRuntime& adapter = AdapterRuntime::fromMiniportHandle(MiniportAdapterHandle, "NdisMResetComplete");
  adapter.requestComplete(AdapterRuntime::PendingRequest::Reset, Status, AddressingReset != FALSE);
}
