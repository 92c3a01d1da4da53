// What the station does meanwhile where its later parts will stand. Each body is the whole
// behaviour that can exist without its part; see README.md ("Not yet").
#include "driver/core/station_seams.h"

#include "driver/core/core_adapter.h"
#include "driver/core/data_ciphers.h"
#include "driver/core/security_elements.h"
#include "driver/core/tkip_countermeasures.h"
#include "driver/hal/hal_adapter.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {

// The data path is in data_encapsulation.cpp and data_decapsulation.cpp.

// --- keys and ciphers -------------------------------------------------------------------

// Encrypt, Decrypt and CheckReceiveMic are in data_ciphers.cpp and data_decryption.cpp.

bool CkipHoldsFrames(CoreAdapter*) { return false; }

// Disconnect, link loss, deauthentication: the pairwise and group keys go, and with them
// the MIC-failure window and any fragments received under them.
void ResetTkipState(CoreAdapter* core) {
  TkipForgetMicFailureWindow(core);
  core->Keys.Clear();
  core->Ciphers.GroupCipherStatus = 0xFF;
  KeysChanged(core);
}
// The WPA and RSN elements of a BSS's saved element block go to their slots.
void ParseBssSecurity(CoreAdapter* core, int bssIndex) {
  BssRecord& bss = core->Bss[bssIndex];
  const std::uint32_t length = bss.BlockLength < sizeof bss.Block ? bss.BlockLength : sizeof bss.Block;
  ExtractSecurityElements(bss.Block, length, bss.WpaElement, bss.RsnElement);
}
std::uint32_t AppendWpaNoneElement(CoreAdapter*, std::uint8_t*) { return 0; }

// --- chip layer's power saving ----------------------------------------------------------

void TellPowerSaveMoreData(CoreAdapter* core, bool moreData) {
  if (core->Hal != nullptr) hal::PowerSaveEvent(core->Hal, moreData ? 2 : 3);  // traffic indicated, or none
}

}  // namespace zelnic::core
