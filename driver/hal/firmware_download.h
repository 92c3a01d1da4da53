#pragma once
// Bringing the chip from reset to a running firmware: the boot block and the firmware image
// through the mailbox handshake, then the hardware specification and the first commands.
#include "driver/hal/hal_adapter.h"

namespace zelnic::hal {

// HalAdapterOps Start: 0, or NDIS_STATUS_FAILURE (any step's bound missed, a MAC address
// that differs from the chip's, a command that could not be queued).
NDIS_STATUS StartHardware(HalAdapter* hal);
// The download alone: 0 or NDIS_STATUS_FAILURE.
NDIS_STATUS DownloadFirmware(HalAdapter* hal);

}  // namespace zelnic::hal
