#pragma once
// Frames the station builds itself (management frames, and later the data frames it
// encapsulates): a pool of buffers allocated once at start, and the management transmit
// queue that the chip layer's transmit service empties before it takes data.
#include <cstdint>

#include "driver/ndis/os_service_table.h"

struct CoreAdapter;

namespace zelnic::core {

inline constexpr std::uint32_t kManagementFrameBytes = 2000;
// The chip layer's transmit ring size plus four.
inline constexpr std::uint32_t kManagementFrameCount = 64 + 4;

// One pool element: descriptor {link, reserved, buffer, size, current} and its buffer.
struct ManagementFrameBuffer {
  ListLink Link;
  ManagementFrameBuffer* Chained;  // a second buffer of the same frame, when there is one
  std::uint8_t* Buffer;
  std::uint32_t Size;
  std::uint8_t* Current;
  std::uint32_t Length;  // bytes of the frame in the buffer
  ULONG SendFlags;       // the send record's flags (a frame encrypted already: no cipher)
};

struct ManagementFrames {
  ManagementFrameBuffer* Descriptors;  // kManagementFrameCount
  std::uint8_t* Buffers;               // kManagementFrameCount x kManagementFrameBytes
  LockedList Pool;
  LockedList Queue;
  LockedList Held;  // frames for the station's own channel, kept while it is away
  bool Holding;     // away from its channel: only a scan's probe requests go out
  bool Ready;
};

// Creation and release of the pool (all memory at start).
ULONG CreateManagementPool(CoreAdapter* core);
void FreeManagementPool(CoreAdapter* core);

// A free frame buffer (its length 0, its header zeroed), or null when the pool is empty.
ManagementFrameBuffer* TakeFrameBuffer(CoreAdapter* core);
void ReturnFrameBuffer(CoreAdapter* core, ManagementFrameBuffer* frame);

void QueueManagementFrame(CoreAdapter* core, ManagementFrameBuffer* frame);
// Sends the oldest queued frame: false when the queue is empty or no send record is free
// (the frame then keeps its place at the head of the queue).
bool SendManagementFrame(CoreAdapter* core);
// Hands a built frame to the chip layer at once, in a send record from the packet list that
// is completed with success; false when no record is free (the frame is still the caller's).
bool TransmitFrame(CoreAdapter* core, ManagementFrameBuffer* frame);
std::uint32_t ManagementQueueLength(const CoreAdapter* core);
// Away from its own channel the station sends nothing but a scan's broadcast probe requests;
// the other frames wait, in their order, and go first once it is back.
void HoldManagementFrames(CoreAdapter* core, bool hold);

// The core's SendComplete operation.
void SendComplete(CoreAdapter* core, SendDescriptor* record, ULONG status);

}  // namespace zelnic::core
