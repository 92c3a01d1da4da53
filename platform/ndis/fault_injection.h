#pragma once
// Requests the runtime can be told to refuse, so a test reaches a driver's failure paths:
// the rule sees every request of the listed kinds and answers true to make it fail.
#include <cstddef>
#include <cstdint>
#include <functional>

namespace ndis {

enum class RequestKind : std::uint8_t {
  Memory,         // NdisAllocateMemoryWithTag / NdisAllocateMemory
  SharedMemory,   // NdisMAllocateSharedMemory
  PacketPool,     // NdisAllocatePacketPool[Ex]
  Packet,         // NdisAllocatePacket
  BufferPool,     // NdisAllocateBufferPool
  Buffer,         // NdisAllocateBuffer
  MapRegisters,   // NdisMAllocateMapRegisters
  Wrapper,        // NdisInitializeWrapper hands back a null handle
  Registration,   // NdisMRegisterMiniport
  Configuration,  // NdisOpenConfiguration
  Interrupt,      // NdisMRegisterInterrupt
  MapIoSpace,     // NdisMMapIoSpace
  Device,         // NdisMRegisterDevice
};

struct ResourceRequest {
  RequestKind kind;
  std::uint32_t tag = 0;      // memory tag (Memory only)
  std::size_t length = 0;     // bytes or count asked for
  std::uint64_t ordinal = 0;  // 1 for the first request of this kind, 2 for the next, ...
};

using FailureRule = std::function<bool(const ResourceRequest&)>;

// Common rules.
FailureRule FailNth(RequestKind kind, std::uint64_t ordinal);
FailureRule FailTag(std::uint32_t tag);
FailureRule FailAll(RequestKind kind);

}  // namespace ndis
