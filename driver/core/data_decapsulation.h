#pragma once
// Incoming data: a received 802.11 data frame becomes an 802.3 frame in place and goes up
// to NDIS.
#include "driver/hal/receive_record.h"
#include "driver/ndis/os_service_table.h"

struct CoreAdapter;

namespace zelnic::core {

// Converts a received data frame to 802.3 in place; false drops it. `eapol` tells whether
// it carried an EAPOL frame.
bool DataFrameDecapsulate(CoreAdapter* core, ReceiveRecord* record, bool& eapol);
// Hands a converted frame to NDIS in a receive packet of the chip layer; an internal status.
ULONG IndicateFrame(CoreAdapter* core, ReceiveRecord* record);

}  // namespace zelnic::core
