// What the station does meanwhile where its later parts will stand. Each body is the whole
// behaviour that can exist without its part; see README.md ("Not yet").
#include "driver/core/station_seams.h"

#include "driver/core/core_adapter.h"
#include "driver/hal/hal_adapter.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {

// The data path is in data_encapsulation.cpp and data_decapsulation.cpp.

// --- keys and ciphers -------------------------------------------------------------------

ULONG Encrypt(CoreAdapter*, SendDescriptor*, UCHAR*, ULONG) { return StatusFailure; }
LONG Decrypt(CoreAdapter*, UCHAR*, ULONG) { return -1; }
bool CkipHoldsFrames(CoreAdapter*) { return false; }
bool CheckReceiveMic(CoreAdapter*, ReceiveRecord*) { return false; }
void ResetTkipState(CoreAdapter*) {}
void ParseBssSecurity(CoreAdapter*, int) {}
std::uint32_t AppendWpaNoneElement(CoreAdapter*, std::uint8_t*) { return 0; }

// --- chip layer's power saving ----------------------------------------------------------

void TellPowerSaveMoreData(CoreAdapter* core, bool moreData) {
  if (core->Hal != nullptr) hal::PowerSaveEvent(core->Hal, moreData ? 2 : 3);  // traffic indicated, or none
}

}  // namespace zelnic::core
