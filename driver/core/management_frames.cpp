#include "driver/core/management_frames.h"

#include <cstring>

#include "driver/core/core_adapter.h"
#include "driver/core/frame_builders.h"
#include "driver/core/frame_tests.h"
#include "driver/hal/hal_adapter.h"
#include "driver/ndis/shell_links.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {
namespace {

constexpr std::uint32_t kDescriptorBytes = kManagementFrameCount * sizeof(ManagementFrameBuffer);
constexpr std::uint32_t kBufferBytes = kManagementFrameCount * kManagementFrameBytes;

OsServiceTable& Table(CoreAdapter* core) { return *core->Os->Table; }

// Puts a frame taken from the queue back where it was: first in line.
void RequeueAtHead(CoreAdapter* core, ManagementFrameBuffer* frame) {
  LockedList& queue = core->Management.Queue;
  Table(core).AcquireSpinLock(&queue.Lock);
  frame->Link.Next = static_cast<ListLink*>(queue.Head);
  queue.Head = &frame->Link;
  if (queue.Tail == nullptr) queue.Tail = &frame->Link;
  ++queue.Count;
  Table(core).ReleaseSpinLock(&queue.Lock);
}

// A scan's probe request (to everyone): the one frame that belongs on a foreign channel.
bool IsScanProbe(const std::uint8_t* frame) {
  return IsManagementFrame(frame) && (FrameControl0(frame) >> 4) == kSubtypeProbeRequest &&
         IsBroadcast(frame + kAddress1);
}

}  // namespace

ULONG CreateManagementPool(CoreAdapter* core) {
  ManagementFrames& m = core->Management;
  Table(core).InitList(&m.Pool);
  Table(core).InitList(&m.Queue);
  Table(core).InitList(&m.Held);
  m.Holding = false;
  m.Ready = true;
  PVOID descriptors = nullptr;
  PVOID buffers = nullptr;
  if (Table(core).Allocate(core->Os, &descriptors, kDescriptorBytes, 0, nullptr) != StatusSuccess)
    return StatusResources;
  m.Descriptors = static_cast<ManagementFrameBuffer*>(descriptors);
  if (Table(core).Allocate(core->Os, &buffers, kBufferBytes, 0, nullptr) != StatusSuccess) return StatusResources;
  m.Buffers = static_cast<std::uint8_t*>(buffers);
  for (std::uint32_t i = 0; i < kManagementFrameCount; ++i) {
    ManagementFrameBuffer& frame = m.Descriptors[i];
    frame.Buffer = m.Buffers + i * kManagementFrameBytes;
    frame.Size = kManagementFrameBytes;
    ReturnFrameBuffer(core, &frame);
  }
  return StatusSuccess;
}

void FreeManagementPool(CoreAdapter* core) {
  ManagementFrames& m = core->Management;
  if (m.Buffers != nullptr) Table(core).Free(core->Os, m.Buffers, kBufferBytes, 0, nullptr);
  if (m.Descriptors != nullptr) Table(core).Free(core->Os, m.Descriptors, kDescriptorBytes, 0, nullptr);
  m.Buffers = nullptr;
  m.Descriptors = nullptr;
  if (m.Ready) {
    Table(core).FreeList(&m.Held);
    Table(core).FreeList(&m.Queue);
    Table(core).FreeList(&m.Pool);
    m.Ready = false;
  }
}

ManagementFrameBuffer* TakeFrameBuffer(CoreAdapter* core) {
  ListLink* link = Table(core).PopHead(&core->Management.Pool);
  auto* frame = reinterpret_cast<ManagementFrameBuffer*>(link);
  if (frame != nullptr) {
    frame->Chained = nullptr;
    frame->Current = frame->Buffer;
    frame->Length = 0;
    frame->SendFlags = 0;
    // Nothing of the frame the buffer carried last (a retry or power-management bit) goes
    // out again in the next one's header.
    std::memset(frame->Buffer, 0, kChipHeaderBytes);
  }
  return frame;
}

void ReturnFrameBuffer(CoreAdapter* core, ManagementFrameBuffer* frame) {
  while (frame != nullptr) {
    ManagementFrameBuffer* next = frame->Chained;
    frame->Chained = nullptr;
    frame->Current = frame->Buffer;
    frame->Length = 0;
    frame->Link.Next = nullptr;
    Table(core).AppendChain(&core->Management.Pool, &frame->Link);
    frame = next;
  }
}

void QueueManagementFrame(CoreAdapter* core, ManagementFrameBuffer* frame) {
  frame->Link.Next = nullptr;
  Table(core).AppendChain(&core->Management.Queue, &frame->Link);
  hal::RunTransmitService(core->Hal);
}

bool SendManagementFrame(CoreAdapter* core) {
  ManagementFrames& m = core->Management;
  auto* frame = reinterpret_cast<ManagementFrameBuffer*>(Table(core).PopHead(&m.Queue));
  while (frame != nullptr && m.Holding && !IsScanProbe(frame->Buffer)) {
    frame->Link.Next = nullptr;
    Table(core).AppendChain(&m.Held, &frame->Link);
    frame = reinterpret_cast<ManagementFrameBuffer*>(Table(core).PopHead(&m.Queue));
  }
  if (frame == nullptr) return false;
  if (!TransmitFrame(core, frame)) {
    // Nothing went out: the frame waits for the next pass in its place.
    RequeueAtHead(core, frame);
    return false;
  }
  return true;
}

bool TransmitFrame(CoreAdapter* core, ManagementFrameBuffer* frame) {
  SendDescriptor* record = Table(core).PopRecord(&core->Os->SendDescriptors);
  if (record == nullptr) return false;
  record->Packet = nullptr;
  record->Owner = core;
  record->References = 1;
  record->Fragments = nullptr;
  record->FragmentCount = 0;
  record->TotalLength = frame->Length;
  record->Flags = frame->SendFlags;
  record->Frame = frame;
  HalOps(core->Hal).Transmit(core->Hal, record);
  ++core->Counters.Transmitted;
  SendComplete(core, record, StatusSuccess);
  return true;
}

std::uint32_t ManagementQueueLength(const CoreAdapter* core) {
  return core->Management.Queue.Count + core->Management.Held.Count;
}

void HoldManagementFrames(CoreAdapter* core, bool hold) {
  ManagementFrames& m = core->Management;
  m.Holding = hold;
  if (hold) return;
  // The held frames were queued first: the ones queued since go behind them.
  while (ListLink* link = Table(core).PopHead(&m.Queue)) {
    link->Next = nullptr;
    Table(core).AppendChain(&m.Held, link);
  }
  while (ListLink* link = Table(core).PopHead(&m.Held)) {
    link->Next = nullptr;
    Table(core).AppendChain(&m.Queue, link);
  }
  hal::RunTransmitService(core->Hal);
}

void SendComplete(CoreAdapter* core, SendDescriptor* record, ULONG status) {
  if (record->Frame != nullptr) {
    ReturnFrameBuffer(core, static_cast<ManagementFrameBuffer*>(record->Frame));
    record->Frame = nullptr;
  }
  if (record->Packet != nullptr) {
    ++(status == StatusSuccess ? core->Counters.Completed : core->Counters.Failed);
    Table(core).CompleteSend(core->Os, record, status != StatusSuccess ? 1 : 0);
    return;
  }
  Table(core).AppendRecord(&core->Os->SendDescriptors, record);
  ++core->Counters.FreeRecords;
}

}  // namespace zelnic::core
