#pragma once
// What the host API hands back: OID results, send completions, received frames, status
// indications, completions nobody asked for, and the leak report.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/ndis/ndis_types.h"
#include "platform/ndis/scheduler.h"

namespace ndis {

using EthFrame = std::vector<std::uint8_t>;

struct OidResult {
  NDIS_STATUS status = NDIS_STATUS_FAILURE;
  ULONG bytesDone = 0;    // BytesWritten of a query, BytesRead of a set
  ULONG bytesNeeded = 0;
  std::vector<std::uint8_t> data;  // a query's buffer (bytesDone bytes of it are the answer)
  bool pended = false;    // the miniport answered PENDING and completed later
  bool timedOut = false;  // still pending when the wait ran out
};

struct SendCompletion {
  std::uint64_t id;  // what send() returned for the frame
  NDIS_STATUS status;
  friend bool operator==(const SendCompletion&, const SendCompletion&) = default;
};

struct StatusIndication {
  NDIS_STATUS status;
  std::vector<std::uint8_t> payload;
  friend bool operator==(const StatusIndication&, const StatusIndication&) = default;
};

struct SpuriousCompletion {
  enum class Kind : std::uint8_t { Send, Query, Set, Reset, Return };
  Kind kind;
  NDIS_STATUS status;
  Micros at;
};

struct ResetResult {
  NDIS_STATUS status = NDIS_STATUS_FAILURE;
  bool addressingReset = false;
  bool timedOut = false;
};

// How NDIS hands received packets back to the miniport.
struct ReturnPolicy {
  enum class Mode : std::uint8_t {
    Immediate,  // right after the indication (same time, next event)
    Delayed,    // after `delay` of virtual time
    Manual,     // only when the host calls returnHeldPackets()
  };
  Mode mode = Mode::Immediate;
  Micros delay{0};
  static ReturnPolicy immediate() { return {}; }
  static ReturnPolicy delayed(Micros d) { return {Mode::Delayed, d}; }
  static ReturnPolicy manual() { return {Mode::Manual, Micros(0)}; }
};

// What the miniport declared with NdisMSetAttributesEx.
struct AdapterAttributes {
  bool set = false;
  UINT checkForHangSeconds = 0;
  ULONG flags = 0;
  int interfaceType = 0;  // NDIS_INTERFACE_TYPE
};

// What the miniport asked for with NdisMAllocateMapRegisters (while it holds them).
struct MapRegisterGrant {
  bool allocated = false;
  UINT dmaChannel = 0;
  UCHAR dmaSize = 0;
  ULONG count = 0;
  ULONG maximumMapping = 0;
};

struct LeakReport {
  struct TagUsage {
    std::size_t blocks = 0;
    std::size_t bytes = 0;
  };
  std::map<std::string, TagUsage> memory;  // by tag, in memory order ("IXNA")
  std::size_t sharedBlocks = 0;
  std::size_t sharedBytes = 0;
  std::size_t armedTimers = 0;  // armed when the adapter was halted (or now)
  std::size_t packetPools = 0;
  std::size_t packets = 0;
  std::size_t bufferPools = 0;
  std::size_t buffers = 0;
  std::size_t mappedWindows = 0;
  std::size_t portRanges = 0;
  bool interruptRegistered = false;
  bool mapRegisters = false;
  std::size_t devices = 0;
  std::size_t eventReferences = 0;
  std::size_t openConfigurations = 0;
  std::size_t sendsNotCompleted = 0;  // sends of the host the miniport never completed

  bool empty() const;
  std::string describe() const;  // one line per kind of leak; "" when empty
};

std::string TagText(std::uint32_t tag);

}  // namespace ndis
