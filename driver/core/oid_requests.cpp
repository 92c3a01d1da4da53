#include "driver/core/oid_requests.h"

#include "driver/ndis/private_oids.h"
#include "driver/ndis/shell_links.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {

NDIS_STATUS QueryOid(CoreAdapter*, NDIS_OID oid, PVOID buffer, ULONG length, PULONG written, PULONG needed) {
  if (written != nullptr) *written = 0;
  if (needed != nullptr) *needed = 0;
  if (oid == OID_HLVN_EVENT_RING && Links().ReadUtilityEvents != nullptr && written != nullptr && needed != nullptr) {
    return Links().ReadUtilityEvents(buffer, length, written, needed);
  }
  return NDIS_STATUS_NOT_SUPPORTED;
}

ULONG SetOid(CoreAdapter*, NDIS_OID, PVOID, ULONG, PULONG read, PULONG needed) {
  if (read != nullptr) *read = 0;
  if (needed != nullptr) *needed = 0;
  return StatusNotSupported;
}

}  // namespace zelnic::core
