#pragma once
// The OID layer below the shell: the station core's query and set tables, which pass what
// they do not know to the chip layer's tables (chip_oid_requests.h). Queries answer NDIS
// status values, sets internal status codes.
#include <cstdint>

#include "platform/ndis/ndis.h"

struct CoreAdapter;

namespace zelnic::core {

inline constexpr ULONG kCoreOidCount = 49;
inline constexpr ULONG kChipOidCount = 51;

NDIS_STATUS CoreQueryOid(CoreAdapter* core, NDIS_OID oid, PVOID buffer, ULONG length, PULONG written, PULONG needed);
ULONG CoreSetOid(CoreAdapter* core, NDIS_OID oid, PVOID buffer, ULONG length, PULONG read, PULONG needed);

// The 136-byte answer of OID_802_11_CAPABILITY.
void BuildCapabilityRecord(std::uint8_t (&record)[136]);

}  // namespace zelnic::core
