// The receive ring: 64 descriptors in shared memory, each holding one of 128 buffers. On
// the receive interrupt each filled buffer is swapped for a spare and the full one goes to
// the core; it comes back through ReturnReceiveBuffer (from the core, or from NDIS when the
// core indicated it). With no spare the frame is dropped and the descriptor keeps its
// buffer: nothing is copied.
#include <cstring>

#include "driver/core/core_adapter_ops.h"
#include "driver/hal/chip_frames.h"
#include "driver/hal/hal_internal.h"
#include "driver/hal/hal_registers.h"
#include "driver/ndis/packet_reserved.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::hal {
namespace {

constexpr std::uint32_t kReceiveRound = 20;
constexpr std::uint8_t kFilled = 0x80;
constexpr std::uint32_t kResumeWord = 0x12345678;
constexpr std::int32_t kRssiToDbm = 96;
constexpr std::uint32_t kEthernetHeader = 14;
constexpr std::uint32_t kPacketReserved = 16;

// Descriptor fields.
constexpr std::uint32_t kStatus = 0;
constexpr std::uint32_t kRssi = 1;
constexpr std::uint32_t kInit = 2;
constexpr std::uint32_t kLength = 4;
constexpr std::uint32_t kRate = 7;
constexpr std::uint32_t kBuffer = 8;
constexpr std::uint32_t kNext = 12;
constexpr std::uint32_t kRecord = 16;

std::uint8_t* Descriptor(HalAdapter* hal, std::uint32_t index) {
  return hal->rxRing.virtualAddress + index * kRxDescriptorBytes;
}

OsServiceTable& Table(HalAdapter* hal) { return *hal->os->Table; }

// A packet pool with a buffer pool beside it, `count` of each.
ULONG CreatePools(HalAdapter* hal, std::uint32_t count, NDIS_HANDLE& packets, NDIS_HANDLE& buffers) {
  if (Table(hal).CreatePacketPool(hal->os, &packets, count, 0, kPacketReserved) != StatusSuccess) return StatusResources;
  NDIS_STATUS status;
  NdisAllocateBufferPool(&status, &buffers, count);
  if (status == NDIS_STATUS_SUCCESS) return StatusSuccess;
  buffers = nullptr;
  return StatusResources;
}

void FreePools(HalAdapter* hal, NDIS_HANDLE& packets, NDIS_HANDLE& buffers) {
  if (buffers != nullptr) NdisFreeBufferPool(buffers);
  Table(hal).FreePacketPool(hal->os, packets);
  packets = buffers = nullptr;
}

void ResetRecord(ReceiveRecord* record) {
  record->Link.Next = nullptr;
  record->Frame = record->Buffer;
  record->Length = 0;
  record->Capacity = kRingBufferBytes;
}

void CountRssi(HalAdapter* hal, std::uint8_t rssi) {
  const std::uint32_t bin = rssi < 20 ? 0 : rssi < 40 ? 1 : rssi < 60 ? 2 : 3;
  ++hal->rx.rssiBins[bin];
}

// A length the buffer holds and at least one chip header: anything else from the device is
// not read.
bool LengthUsable(std::uint32_t length) { return length >= kChipFrameHeader && length <= kRingBufferBytes; }

// The frame in the descriptor goes up; the spare takes its place in the ring.
void HandUp(HalAdapter* hal, std::uint32_t index, ReceiveRecord* full, ReceiveRecord* spare) {
  std::uint8_t* d = Descriptor(hal, index);
  hal->rx.inRing[index] = spare;
  SharedWord(d + kBuffer) = spare->Physical;
  SharedWord(d + kRecord) = static_cast<std::uint32_t>(spare - hal->rx.records);

  const std::uint8_t rssi = SharedByte(d + kRssi);
  full->SignalDbm = static_cast<LONG>(rssi) - kRssiToDbm;
  full->RateCode = SharedByte(d + kRate);
  hal->rx.lastSignalDbm = full->SignalDbm;
  CoreAdapter* core = hal->link.core;
  if (hal->link.StoreSignal) hal->link.StoreSignal(core, full->SignalDbm);
  if (!IsManagementType(ChipFrameControl(full->Frame))) {
    PowerSaveFrameReceived(hal);  // beacons keep coming: only traffic keeps the station awake
    FeedSignal(hal, full->SignalDbm);
    hal->rx.bytesReceived += full->Length;
    ++hal->rx.dataFrames;
  }
  if (CoreOps(core).IsUnicastFromBss(core, full->Frame)) PushReceiveRate(hal, full->RateCode);
  CoreOps(core).Receive(core, full);
}

}  // namespace

ULONG CreateReceiveRing(HalAdapter* hal) {
  ReceiveRing& rx = hal->rx;
  Table(hal).InitList(&rx.spares);
  rx.sparesReady = true;
  rx.records = static_cast<ReceiveRecord*>(OsAllocate(hal->os, kRxBuffers * sizeof(ReceiveRecord)));
  if (rx.records == nullptr) return StatusResources;
  if (CreatePools(hal, kRxBuffers, rx.packetPool, rx.bufferPool) != StatusSuccess) return StatusResources;
  const std::uint32_t buffers = kRingEntries * kRxDescriptorBytes;
  for (std::uint32_t i = 0; i < kRxBuffers; ++i) {
    ReceiveRecord* record = &rx.records[i];
    record->Buffer = hal->rxRing.virtualAddress + buffers + i * kRingBufferBytes;
    record->Physical = hal->rxRing.physical + buffers + i * kRingBufferBytes;
    ResetRecord(record);
    if (Table(hal).AllocatePacket(hal->os, rx.packetPool, &record->Packet) != StatusSuccess) return StatusResources;
    NDIS_SET_PACKET_HEADER_SIZE(record->Packet, kEthernetHeader);
  }
  for (std::uint32_t i = 0; i < kRingEntries; ++i) {
    std::uint8_t* d = Descriptor(hal, i);
    std::memset(d, 0, kRxDescriptorBytes);
    SharedHalf(d + kInit) = 1;
    SharedWord(d + kBuffer) = rx.records[i].Physical;
    SharedWord(d + kNext) = hal->rxRing.physical + ((i + 1) % kRingEntries) * kRxDescriptorBytes;
    SharedWord(d + kRecord) = i;
    rx.inRing[i] = &rx.records[i];
  }
  for (std::uint32_t i = kRingEntries; i < kRxBuffers; ++i) Table(hal).AppendChain(&rx.spares, &rx.records[i].Link);
  return StatusSuccess;
}

void DestroyReceiveRing(HalAdapter* hal) {
  ReceiveRing& rx = hal->rx;
  if (rx.records != nullptr) {
    for (std::uint32_t i = 0; i < kRxBuffers; ++i) Table(hal).FreePacket(hal->os, rx.records[i].Packet);
    OsFree(hal->os, rx.records, kRxBuffers * sizeof(ReceiveRecord));
  }
  FreePools(hal, rx.packetPool, rx.bufferPool);
  if (rx.sparesReady) Table(hal).FreeList(&rx.spares);
  rx = ReceiveRing{};
}

void HalReceiveComplete(HalAdapter* hal) {
  if (IsChipGone(hal)) return;
  ReceiveRing& rx = hal->rx;
  std::uint32_t handled = 0;
  for (; handled < kReceiveRound; ++handled) {
    std::uint8_t* d = Descriptor(hal, rx.readIndex);
    if ((SharedByte(d + kStatus) & kFilled) == 0) break;
    if (SharedByte(d + kRssi) == 0) SharedByte(d + kRssi) = 5;
    CountRssi(hal, SharedByte(d + kRssi));
    ReceiveRecord* full = rx.inRing[rx.readIndex];
    const std::uint32_t length = SharedHalf(d + kLength);
    ReceiveRecord* spare = nullptr;
    if (LengthUsable(length)) spare = reinterpret_cast<ReceiveRecord*>(Table(hal).PopHead(&rx.spares));
    if (spare == nullptr) {
      ++rx.dropped;  // the descriptor keeps its buffer
    } else {
      full->Frame = full->Buffer;
      full->Length = length;
      HandUp(hal, rx.readIndex, full, spare);
    }
    SharedByte(d + kStatus) = 0;
    rx.readIndex = (rx.readIndex + 1) % kRingEntries;
  }
  WriteRegister(hal, 0, hal->spec.rxReadPointerRegister, kResumeWord);
  if (handled == kReceiveRound && !hal->removed) hal->pendingCauses |= kCauseRx;
}

void ReturnReceiveBuffer(HalAdapter* hal, ReceiveRecord* record) {
  if (record == nullptr) return;
  ResetRecord(record);
  Table(hal).AppendChain(&hal->rx.spares, &record->Link);
}

ULONG IndicateReceivedFrame(HalAdapter* hal, ReceiveRecord* record, void* data, ULONG length) {
  ReceiveIndication indication{record->Packet, hal->rx.bufferPool, data, length, record};
  return Table(hal).IndicateReceive(hal->os, &indication);
}

std::uint32_t ReceiveRecordsOutstanding(HalAdapter* hal) {
  if (hal->rx.records == nullptr) return 0;
  return kRingEntries - hal->rx.spares.Count;
}

// --- raw frames ------------------------------------------------------------------------------

ULONG CreateRawFrames(HalAdapter* hal) {
  RawFrames& raw = hal->rawFrames;
  Table(hal).InitList(&raw.list);
  raw.listReady = true;
  if (CreatePools(hal, kRawFramePackets, raw.packetPool, raw.bufferPool) != StatusSuccess) return StatusResources;
  PVOID memory = nullptr;
  if (NdisAllocateMemoryWithTag(&memory, kRawFramePackets * kRingBufferBytes, NdisTag("nvlh")) != NDIS_STATUS_SUCCESS)
    return StatusResources;
  raw.buffers = static_cast<std::uint8_t*>(memory);
  std::memset(raw.buffers, 0, kRawFramePackets * kRingBufferBytes);
  for (std::uint32_t i = 0; i < kRawFramePackets; ++i) {
    PNDIS_PACKET packet = nullptr;
    if (Table(hal).AllocatePacket(hal->os, raw.packetPool, &packet) != StatusSuccess) return StatusResources;
    raw.packets[i] = packet;
    PNDIS_BUFFER buffer = nullptr;
    NDIS_STATUS status;
    NdisAllocateBuffer(&status, &buffer, raw.bufferPool, raw.buffers + i * kRingBufferBytes, kRingBufferBytes);
    if (status != NDIS_STATUS_SUCCESS) return StatusResources;
    NdisChainBufferAtFront(packet, buffer);
    ReservedOf(packet)->Raw.OwnerTag = kRawFrameTagBase + i;
    ReservedOf(packet)->Link.Next = nullptr;
    Table(hal).AppendChain(&raw.list, &ReservedOf(packet)->Link);
  }
  hal->os->RawFramePackets = &raw.list;
  return StatusSuccess;
}

void DestroyRawFrames(HalAdapter* hal) {
  RawFrames& raw = hal->rawFrames;
  if (hal->os->RawFramePackets == &raw.list) hal->os->RawFramePackets = nullptr;
  for (PNDIS_PACKET packet : raw.packets) {
    if (packet == nullptr) continue;
    PNDIS_BUFFER buffer = packet->Private.Head;
    while (buffer != nullptr) {
      PNDIS_BUFFER next;
      NdisGetNextBuffer(buffer, &next);
      NdisFreeBuffer(buffer);
      buffer = next;
    }
    NdisReinitializePacket(packet);
    Table(hal).FreePacket(hal->os, packet);
  }
  if (raw.buffers != nullptr) NdisFreeMemory(raw.buffers, kRawFramePackets * kRingBufferBytes, 0);
  FreePools(hal, raw.packetPool, raw.bufferPool);
  if (raw.listReady) Table(hal).FreeList(&raw.list);
  raw = RawFrames{};
}

PNDIS_PACKET TakeRawFramePacket(HalAdapter* hal) {
  ListLink* link = Table(hal).PopHead(&hal->rawFrames.list);
  return link != nullptr ? PacketOfLink(link) : nullptr;
}

}  // namespace zelnic::hal
