#pragma once
// The OIDs of a connection as NDIS drives them: the desired SSID and the connection it
// starts, the mode words, the scan and its list, the association information, the BSSID,
// the signal, disassociation and the supported rates.
#include <cstdint>

#include "driver/core/config.h"
#include "platform/ndis/ndis.h"

struct CoreAdapter;

namespace zelnic::core {

// Stores the desired SSID, leaves the current network and starts a connection for
// `requester` (the OID, or a connect reason); an internal status (2 pending).
ULONG SetDesiredSsid(CoreAdapter* core, const Ssid& ssid, std::uint32_t requester);
// Picks a BSS and joins it, scanning for the desired SSID once when none fits; at most 2
// attempts. `newRequest` restarts the count.
ULONG StartConnect(CoreAdapter* core, bool newRequest);

// The NDIS_WLAN_BSSID_EX list of the shadow table in the core's scan-list buffer; its bytes.
std::uint32_t BuildBssidListEx(CoreAdapter* core);

// true when the OID is one of these; then `status` holds the answer.
bool QueryConnectionOid(CoreAdapter* core, NDIS_OID oid, PVOID buffer, ULONG length, PULONG written,
                        PULONG needed, NDIS_STATUS& status);
bool SetConnectionOid(CoreAdapter* core, NDIS_OID oid, PVOID buffer, ULONG length, PULONG read, PULONG needed,
                      ULONG& status);

}  // namespace zelnic::core
