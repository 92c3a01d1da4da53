#pragma once
// The OID layer: the driver's answers to OID requests below the shell. No OID is handled yet: every query
// answers NDIS_STATUS_NOT_SUPPORTED and every set the not-supported internal code.
#include "platform/ndis/ndis.h"

struct CoreAdapter;

namespace zelnic::core {

NDIS_STATUS QueryOid(CoreAdapter* core, NDIS_OID oid, PVOID buffer, ULONG length, PULONG written, PULONG needed);
ULONG SetOid(CoreAdapter* core, NDIS_OID oid, PVOID buffer, ULONG length, PULONG read, PULONG needed);

}  // namespace zelnic::core
