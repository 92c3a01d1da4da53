#pragma once
// The BSS table: every network the station has heard, as NDIS_WLAN_BSSID entries that OID
// queries read from a shadow copy, and beside each entry its parsed fields and elements.
#include <cstdint>

#include "driver/core/bss_elements.h"

struct CoreAdapter;
struct ReceiveRecord;

namespace zelnic::core {

BssTableData& BssTableOf(CoreAdapter* core);
const BssTableData& BssTableOf(const CoreAdapter* core);
// The index of the entry of `bssid`; -1 when the table has none.
int FindBss(const CoreAdapter* core, const std::uint8_t* bssid);
// The capability word of the current BSS; false when the table does not hold it.
bool CurrentBssCapability(const CoreAdapter* core, std::uint16_t& capability);
// Empties the table and the directory beside it.
void ClearBssTable(CoreAdapter* core);

// A beacon or probe response: enters or refreshes the BSS, and in the associated state
// tells the link monitor that the current network is still there.
void ProcessBeacon(CoreAdapter* core, const ReceiveRecord* record, bool probeResponse);

// Copies the table into the shadow that OID queries read, once no query holds it (waits at
// most 19,999 polls of 50 us).
void CopyBssTableToShadow(CoreAdapter* core);

}  // namespace zelnic::core
