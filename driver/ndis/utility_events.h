#pragma once
// The events the driver reports to the utility, the record that carries one, and the ring of
// ten records the utility reads back through OID_HLVN_EVENT_RING.
#include "platform/ndis/ndis.h"

// Event codes (the record's second word).
constexpr ULONG HLVN_EVENT_CONNECT_FAILED = 0;
constexpr ULONG HLVN_EVENT_ASSOCIATED = 1;
constexpr ULONG HLVN_EVENT_ADAPTER_REMOVED = 2;
constexpr ULONG HLVN_EVENT_IBSS_CONNECTED = 3;
constexpr ULONG HLVN_EVENT_IBSS_FAILED = 4;
constexpr ULONG HLVN_EVENT_DISCONNECTED = 5;
constexpr ULONG HLVN_EVENT_SCAN_COMPLETE = 6;
constexpr ULONG HLVN_EVENT_RADIO_ON = 8;
constexpr ULONG HLVN_EVENT_RADIO_OFF = 9;
constexpr ULONG HLVN_EVENT_MIC_FAILURE = 10;
constexpr ULONG HLVN_EVENT_EAPOL_RECEIVED = 132;
constexpr ULONG HLVN_EVENT_RAW_FRAME_SENT = 133;
constexpr ULONG HLVN_EVENT_CCKM_REQUEST = 136;
constexpr ULONG HLVN_EVENT_SECURITY_OID = 137;
constexpr ULONG HLVN_EVENT_SWIFTBOND_STEP = 0xF0000000;  // + step 0..7
constexpr ULONG HLVN_EVENT_SWIFTBOND_FAILED = 0xF0000008;

constexpr ULONG kUtilityEventPayloadMax = 1600;
constexpr ULONG kUtilityEventRecordSize = 1612;
constexpr ULONG kUtilityEventRingRecords = 10;
// What a read of the whole ring needs: the count word and ten records.
constexpr ULONG kUtilityEventReadSize = 4 + kUtilityEventRecordSize * kUtilityEventRingRecords;

struct UtilityEventRecord {
  ULONG Size;    // always 1612
  ULONG Code;
  ULONG Length;  // payload bytes, 0 when none
  UCHAR Payload[kUtilityEventPayloadMax];
};
static_assert(sizeof(UtilityEventRecord) == kUtilityEventRecordSize);

// Ten records in one zero-filled block. The unread count tells a full ring from an empty one
// (equal indexes mean either), so an overflow drops only the oldest record.
struct UtilityEventRing {
  UtilityEventRecord* Records[kUtilityEventRingRecords];
  PVOID Block;
  ULONG WriteIndex;
  ULONG ReadIndex;
  ULONG Unread;
  UCHAR Enabled;                // set once the utility registered its event
  UCHAR RemoveEventRegistered;
  ULONG DroppedOversize;        // payloads over 1,600 bytes, dropped rather than cut
  NDIS_SPIN_LOCK Lock;
};

// Allocates the block (tag NDam) and the lock; FALSE when memory is short.
BOOLEAN CreateUtilityEventRing(UtilityEventRing* ring);
void FreeUtilityEventRing(UtilityEventRing* ring);
// Writes one record, the oldest unread one giving way when all ten are unread. A payload
// over 1,600 bytes is not written (counted in DroppedOversize); FALSE then.
BOOLEAN WriteUtilityEvent(UtilityEventRing* ring, ULONG code, const void* payload, ULONG length);
// Forgets every unread record.
void DiscardUtilityEvents(UtilityEventRing* ring);
// {u32 count, records oldest first}; the output must hold kUtilityEventReadSize bytes
// (else BUFFER_TOO_SHORT with that need); the answer is the whole buffer, zero behind the
// records. The read records are consumed.
NDIS_STATUS ReadUtilityEventRing(UtilityEventRing* ring, PVOID output, ULONG length, PULONG written, PULONG needed);
