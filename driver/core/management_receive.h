#pragma once
#include "driver/hal/receive_record.h"

struct CoreAdapter;

namespace zelnic::core {

// A received management frame (the record stays the caller's to give back); StatusSuccess,
// or StatusFailure for a frame MAC management refuses.
ULONG ManagementFrameReceive(CoreAdapter* core, ReceiveRecord* record);

}  // namespace zelnic::core
