#pragma once
// Outgoing data: an NDIS send becomes its 802.11 data frame (or all its fragments) in one
// frame buffer, which one transmission hands to the chip layer.
#include <cstdint>

#include "driver/ndis/os_service_table.h"

struct CoreAdapter;

namespace zelnic::core {

// Builds the 802.11 frame of an NDIS send; an internal status.
ULONG DataFrameEncapsulate(CoreAdapter* core, SendDescriptor* record);
// The MSDU as the fragmentation threshold counts it.
std::uint32_t PayloadLength(const SendDescriptor* record);
// Hands the built frame to the chip layer and completes the send; an internal status.
ULONG FragmentAndSend(CoreAdapter* core, SendDescriptor* record);

}  // namespace zelnic::core
