#pragma once
// The CCX sets of the OID layer: the adjacent-AP list and its report, the roam report, the
// CCKM element and its cancel. Hooked into CoreSetOid before its own table.
#include "driver/ndis/os_service_table.h"
#include "platform/ndis/ndis_types.h"

struct CoreAdapter;

namespace zelnic::core {

// True when `oid` is one of them; `status` is then its answer.
bool SetCcxOid(CoreAdapter* core, NDIS_OID oid, PVOID buffer, ULONG length, PULONG read, ULONG& status);

}  // namespace zelnic::core
