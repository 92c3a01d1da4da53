// The transmit service: fills the transmit ring from the core's management queue and the
// shell's pending sends. The ring itself is not written yet, so there is nothing to fill:
// no frame reaches the chip meanwhile (the station cannot associate, so the shell refuses
// every send before it gets here).
#include "driver/hal/hal_adapter.h"

namespace zelnic::hal {

void RunTransmitService(HalAdapter*) {}

}  // namespace zelnic::hal
