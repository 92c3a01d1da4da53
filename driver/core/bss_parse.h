#pragma once
// Turns a beacon or probe response into a BSS table entry and its parsed fields.
#include <cstdint>

#include "driver/core/bss_elements.h"
#include "platform/ndis/ndis_types.h"

struct CoreAdapter;

namespace zelnic::core {

// `frame` is a chip-layout frame of `length` bytes. Fills `entry` (zeroed first, Length 104)
// and `elements` (zeroed first). StatusSuccess, or StatusFailure when the frame has no fixed
// fields, an SSID longer than 32 bytes, or a DS channel other than the one being scanned
// (outside a dwell, while a scan runs: any DS channel).
ULONG ParseBssFromFrame(const CoreAdapter* core, const std::uint8_t* frame, std::uint32_t length,
                        NDIS_WLAN_BSSID& entry, BssElements& elements);

// The entry is the current network: same BSSID, channel and privacy, and the current SSID
// or an empty one.
bool IsCurrentNetwork(const CoreAdapter* core, const NDIS_WLAN_BSSID& entry);

// The WPA and RSN elements of BSS `bssIndex`'s saved element block go to their slots.
void ParseBssSecurity(CoreAdapter* core, int bssIndex);

}  // namespace zelnic::core
