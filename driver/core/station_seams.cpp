// What the station does meanwhile where its later parts will stand. Each body is the whole
// behaviour that can exist without its part; see README.md ("Not yet").
#include "driver/core/station_seams.h"

#include "driver/core/core_adapter.h"
#include "driver/core/security_elements.h"
#include "driver/core/wep_cipher.h"
#include "driver/core/wep_frame.h"
#include "driver/hal/hal_adapter.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {

// The data path is in data_encapsulation.cpp and data_decapsulation.cpp.

// --- keys and ciphers -------------------------------------------------------------------

// Encrypt, Decrypt and CheckReceiveMic are in data_ciphers.cpp and data_decryption.cpp;
// ResetKeyState in key_installs.cpp.

// The WPA and RSN elements of a BSS's saved element block go to their slots.
void ParseBssSecurity(CoreAdapter* core, int bssIndex) {
  BssRecord& bss = core->Bss[bssIndex];
  const std::uint32_t length = bss.BlockLength < sizeof bss.Block ? bss.BlockLength : sizeof bss.Block;
  ExtractSecurityElements(bss.Block, length, bss.WpaElement, bss.RsnElement);
}
// The ciphers of a WPA-None IBSS follow the encryption status; a WEP group is WEP-104 when
// the transmit key is 13 bytes long.
std::uint32_t AppendWpaNoneElement(CoreAdapter* core, std::uint8_t* at) {
  IbssCiphers ciphers;
  switch (core->Config.wepStatus) {
    case 6:
      ciphers = {kIbssCipherCcmp, kIbssCipherCcmp};
      break;
    case 4:
      ciphers = {kIbssCipherTkip, kIbssCipherTkip};
      break;
    case 0: {
      std::uint32_t index = 0, length = 0;
      const std::uint8_t* key = nullptr;
      const bool wep104 = TransmitWepKey(core, index, key, length) && length == kWepMaxKeyBytes;
      ciphers.group = wep104 ? kIbssCipherWep104 : kIbssCipherWep40;
      break;
    }
    default:
      return 0;
  }
  return BuildIbssRsnElement(ciphers, at);
}

// --- chip layer's power saving ----------------------------------------------------------

void TellPowerSaveMoreData(CoreAdapter* core, bool moreData) {
  if (core->Hal != nullptr) hal::PowerSaveEvent(core->Hal, moreData ? 2 : 3);  // traffic indicated, or none
}

}  // namespace zelnic::core
