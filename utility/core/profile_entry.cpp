#include "utility/core/profile_entry.h"

namespace zelcon {

PROFILE_ENTRY MakeDefaultProfile() {
  PROFILE_ENTRY p{};
  SetFieldText(p.name, kDefaultProfileName);
  SetFieldText(p.ssid, kAnySsid);
  p.networkType = 1;
  p.wlanMode = 255;
  p.keepAdapterDefaults = 1;
  p.preamble = 1;
  p.dataRate = 255;
  p.fragThreshold = 2346;
  p.rtsThreshold = 2347;
  p.prefer = 1;
  return p;
}

void WipeProfile(PROFILE_ENTRY& p) {
  volatile uint8_t* bytes = reinterpret_cast<volatile uint8_t*>(&p);
  for (size_t i = 0; i < sizeof p; ++i) bytes[i] = 0;
}

}  // namespace zelcon
