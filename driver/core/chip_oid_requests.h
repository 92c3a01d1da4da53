#pragma once
// The chip layer's OID tables: what the station core's tables pass on. They read and set the
// chip layer's words and send its firmware commands; the few core words they need (RadioOn,
// antennas, thresholds) come with the core, which is why they are reached from here.
#include "platform/ndis/ndis.h"

struct CoreAdapter;

namespace zelnic::core {

NDIS_STATUS HalQueryOid(CoreAdapter* core, NDIS_OID oid, PVOID buffer, ULONG length, PULONG written,
                         PULONG needed);
ULONG HalSetOid(CoreAdapter* core, NDIS_OID oid, PVOID buffer, ULONG length, PULONG read, PULONG needed);

// The chip layer's supported list (51 OIDs).
extern const NDIS_OID kChipOids[51];

}  // namespace zelnic::core
