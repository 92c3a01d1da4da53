#pragma once
// The BSSID list as the utility reads it through the control device: 152-byte records made
// from the core's NDIS_WLAN_BSSID entries and each BSS's 33-byte extra record.
#include "platform/ndis/ndis.h"

constexpr ULONG kUtilityBssidRecordBytes = 152;
constexpr ULONG kWlanBssidEntryBytes = 104;
constexpr ULONG kBssExtraRecordBytes = 33;

// `list`: u32 count, then 104-byte entries (listLength bytes in all); `extras`: one 33-byte
// record per entry, or null. The count is cut to the entries the list holds and to the
// records that fit behind the output's count word. Returns the bytes written, 4 + 152 x count
// (0 when the output cannot hold the count).
ULONG FormatBssidListForUtility(const UCHAR* list, ULONG listLength, const UCHAR* extras, UCHAR* output,
                                ULONG outputLength);
