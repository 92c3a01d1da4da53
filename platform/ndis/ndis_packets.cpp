// Packet and buffer pools. Packet pools hold at most their descriptors plus overflow;
// buffer pools do not limit (as on NT), but every buffer is accounted for.
#include "platform/ndis/adapter_runtime.h"

using ndis::AdapterRuntime;
using ndis::RequestKind;

namespace {

AdapterRuntime::PacketPool& PacketPoolOf(NDIS_HANDLE handle, const char* call) {
  AdapterRuntime::PacketPool* pool = AdapterRuntime::packetPoolOf(handle);
  if (pool == nullptr) ndis::FatalFault(std::string(call) + ": not a packet pool");
  return *pool;
}

AdapterRuntime::BufferPool& BufferPoolOf(NDIS_HANDLE handle, const char* call) {
  AdapterRuntime::BufferPool* pool = AdapterRuntime::bufferPoolOf(handle);
  if (pool == nullptr) ndis::FatalFault(std::string(call) + ": not a buffer pool");
  return *pool;
}

}  // namespace

void NdisAllocatePacketPoolEx(PNDIS_STATUS Status, PNDIS_HANDLE PoolHandle, UINT NumberOfDescriptors,
                              UINT NumberOfOverflowDescriptors, UINT ProtocolReservedLength) {
  AdapterRuntime& adapter = ndis::RequireAdapter("NdisAllocatePacketPoolEx");
  adapter.requireIrqlAtMost(DISPATCH_LEVEL, "NdisAllocatePacketPoolEx");
  *PoolHandle = nullptr;
  const std::uint64_t limit = std::uint64_t{NumberOfDescriptors} + NumberOfOverflowDescriptors;
  if (limit > 0xFFFFFFFFu || adapter.refuse(RequestKind::PacketPool, limit)) {
    *Status = NDIS_STATUS_RESOURCES;
    return;
  }
  *PoolHandle = adapter.createPacketPool(static_cast<UINT>(limit), ProtocolReservedLength, false, NumberOfDescriptors);
  *Status = NDIS_STATUS_SUCCESS;
}

void NdisAllocatePacketPool(PNDIS_STATUS Status, PNDIS_HANDLE PoolHandle, UINT NumberOfDescriptors,
                            UINT ProtocolReservedLength) {
  NdisAllocatePacketPoolEx(Status, PoolHandle, NumberOfDescriptors, 0, ProtocolReservedLength);
}

void NdisFreePacketPool(NDIS_HANDLE PoolHandle) {
  AdapterRuntime::PacketPool& pool = PacketPoolOf(PoolHandle, "NdisFreePacketPool");
  pool.adapter->destroyPacketPool(&pool);
}

void NdisAllocatePacket(PNDIS_STATUS Status, PNDIS_PACKET* Packet, NDIS_HANDLE PoolHandle) {
  AdapterRuntime::PacketPool& pool = PacketPoolOf(PoolHandle, "NdisAllocatePacket");
  pool.adapter->requireIrqlAtMost(DISPATCH_LEVEL, "NdisAllocatePacket");
  *Packet = pool.adapter->refuse(RequestKind::Packet, 1) ? nullptr : pool.adapter->allocatePacket(pool);
  *Status = *Packet != nullptr ? NDIS_STATUS_SUCCESS : NDIS_STATUS_RESOURCES;
}

void NdisFreePacket(PNDIS_PACKET Packet) {
  AdapterRuntime::PacketPool* pool = Packet != nullptr ? AdapterRuntime::packetPoolOf(Packet->Private.Pool) : nullptr;
  if (pool == nullptr) {
    ndis::RequireAdapter("NdisFreePacket").violation("NdisFreePacket on a packet that is not allocated");
    return;
  }
  pool->adapter->freePacket(Packet, "NdisFreePacket");
}

UINT NdisPacketPoolUsage(NDIS_HANDLE PoolHandle) {
  return static_cast<UINT>(PacketPoolOf(PoolHandle, "NdisPacketPoolUsage").live);
}

void NdisAllocateBufferPool(PNDIS_STATUS Status, PNDIS_HANDLE PoolHandle, UINT NumberOfDescriptors) {
  AdapterRuntime& adapter = ndis::RequireAdapter("NdisAllocateBufferPool");
  adapter.requireIrqlAtMost(DISPATCH_LEVEL, "NdisAllocateBufferPool");
  *PoolHandle = nullptr;
  if (adapter.refuse(RequestKind::BufferPool, NumberOfDescriptors)) {
    *Status = NDIS_STATUS_RESOURCES;
    return;
  }
  *PoolHandle = adapter.createBufferPool(false, NumberOfDescriptors);
  *Status = NDIS_STATUS_SUCCESS;
}

void NdisFreeBufferPool(NDIS_HANDLE PoolHandle) {
  AdapterRuntime::BufferPool& pool = BufferPoolOf(PoolHandle, "NdisFreeBufferPool");
  pool.adapter->destroyBufferPool(&pool);
}

void NdisAllocateBuffer(PNDIS_STATUS Status, PNDIS_BUFFER* Buffer, NDIS_HANDLE PoolHandle, PVOID VirtualAddress,
                        UINT Length) {
  AdapterRuntime::BufferPool& pool = BufferPoolOf(PoolHandle, "NdisAllocateBuffer");
  pool.adapter->requireIrqlAtMost(DISPATCH_LEVEL, "NdisAllocateBuffer");
  *Buffer = pool.adapter->refuse(RequestKind::Buffer, Length) ? nullptr
                                                              : pool.adapter->allocateBuffer(pool, VirtualAddress, Length);
  *Status = *Buffer != nullptr ? NDIS_STATUS_SUCCESS : NDIS_STATUS_RESOURCES;
}

void NdisFreeBuffer(PNDIS_BUFFER Buffer) {
  AdapterRuntime::BufferPool* pool = Buffer != nullptr ? AdapterRuntime::bufferPoolOf(Buffer->Pool) : nullptr;
  if (pool == nullptr) {
    ndis::RequireAdapter("NdisFreeBuffer").violation("NdisFreeBuffer on a buffer that is not allocated");
    return;
  }
  pool->adapter->freeBuffer(Buffer, "NdisFreeBuffer");
}
