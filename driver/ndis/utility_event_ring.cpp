#include "driver/ndis/utility_events.h"

namespace {

constexpr ULONG kTagRing = 0x6D61444E;  // "NDam"
constexpr ULONG kBlockSize = kUtilityEventRecordSize * kUtilityEventRingRecords;

ULONG Next(ULONG index) { return index + 1 == kUtilityEventRingRecords ? 0 : index + 1; }

}  // namespace

BOOLEAN CreateUtilityEventRing(UtilityEventRing* ring) {
  NdisZeroMemory(ring, sizeof *ring);
  PVOID block = nullptr;
  if (NdisAllocateMemoryWithTag(&block, kBlockSize, kTagRing) != NDIS_STATUS_SUCCESS) return FALSE;
  NdisZeroMemory(block, kBlockSize);
  ring->Block = block;
  for (ULONG i = 0; i < kUtilityEventRingRecords; ++i) {
    ring->Records[i] = reinterpret_cast<UtilityEventRecord*>(static_cast<UCHAR*>(block) + i * kUtilityEventRecordSize);
  }
  NdisAllocateSpinLock(&ring->Lock);
  return TRUE;
}

void FreeUtilityEventRing(UtilityEventRing* ring) {
  if (ring->Block == nullptr) return;
  NdisFreeSpinLock(&ring->Lock);
  NdisFreeMemory(ring->Block, kBlockSize, 0);
  NdisZeroMemory(ring, sizeof *ring);
}

BOOLEAN WriteUtilityEvent(UtilityEventRing* ring, ULONG code, const void* payload, ULONG length) {
  if (ring->Block == nullptr) return FALSE;
  if (payload == nullptr) length = 0;
  NdisAcquireSpinLock(&ring->Lock);
  if (length > kUtilityEventPayloadMax) {
    // Cutting a frame would hand the utility a frame that never was: drop it whole.
    ++ring->DroppedOversize;
    NdisReleaseSpinLock(&ring->Lock);
    return FALSE;
  }
  // Slot and contents under the lock: two posters can never fill the same record, and a
  // reader never sees half of one.
  UtilityEventRecord* record = ring->Records[ring->WriteIndex];
  record->Size = kUtilityEventRecordSize;
  record->Code = code;
  record->Length = length;
  if (length != 0) NdisMoveMemory(record->Payload, payload, length);
  ring->WriteIndex = Next(ring->WriteIndex);
  if (ring->Unread == kUtilityEventRingRecords) {
    ring->ReadIndex = Next(ring->ReadIndex);  // the oldest unread record was overwritten
  } else {
    ++ring->Unread;
  }
  NdisReleaseSpinLock(&ring->Lock);
  return TRUE;
}

void DiscardUtilityEvents(UtilityEventRing* ring) {
  if (ring->Block == nullptr) return;
  NdisAcquireSpinLock(&ring->Lock);
  ring->ReadIndex = ring->WriteIndex;
  ring->Unread = 0;
  NdisReleaseSpinLock(&ring->Lock);
}

NDIS_STATUS ReadUtilityEventRing(UtilityEventRing* ring, PVOID output, ULONG length, PULONG written, PULONG needed) {
  *written = 0;
  *needed = 0;
  if (output == nullptr || length < kUtilityEventReadSize) {
    *needed = kUtilityEventReadSize;
    return NDIS_STATUS_BUFFER_TOO_SHORT;
  }
  auto* bytes = static_cast<UCHAR*>(output);
  ULONG count = 0;
  if (ring->Block != nullptr) {
    NdisAcquireSpinLock(&ring->Lock);
    for (; ring->Unread != 0; ++count) {
      NdisMoveMemory(bytes + 4 + count * kUtilityEventRecordSize, ring->Records[ring->ReadIndex],
                     kUtilityEventRecordSize);
      ring->ReadIndex = Next(ring->ReadIndex);
      --ring->Unread;
    }
    NdisReleaseSpinLock(&ring->Lock);
  }
  NdisMoveMemory(bytes, &count, 4);
  // The answer is the whole buffer; what no record filled is zero.
  const ULONG used = 4 + count * kUtilityEventRecordSize;
  NdisZeroMemory(bytes + used, length - used);
  *written = length;
  return NDIS_STATUS_SUCCESS;
}
