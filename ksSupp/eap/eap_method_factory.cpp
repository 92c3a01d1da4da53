// createEapMethod: the outer methods by EAP type; inner-only methods (EAP-MS-CHAP-V2) are
// made by the tunnels' own factories.
#include "ksSupp/eap/eap_leap.h"
#include "ksSupp/eap/eap_md5_challenge.h"
#include "ksSupp/eap/eap_method.h"
#include "ksSupp/eap/eap_peap.h"
#include "ksSupp/eap/eap_tls.h"
#include "ksSupp/eap/eap_token_card.h"
#include "ksSupp/eap/eap_ttls.h"
#include "ksSupp/eap_method_host.h"
#include <dcf/dcfEapHeader.h>

EapMethod* createEapMethod(EapMethodHost* host, std::uint32_t type) {
  EapMethodHostServices* services = host != nullptr ? host->Services() : nullptr;
  try {
    switch (type) {
      case kEapTypeMd5Challenge:
        return new EapMd5Challenge(services);
      case kEapTypeTokenCard:
        return new EapTokenCard(services, /*promptOnly=*/true);
      case kEapTypeTls:
        return new EapTls(host);
      case kEapTypeLeap:
        return new EapLeap(services);
      case kEapTypeTtls:
        return new EapTtls(host);
      case kEapTypePeap:
        return new EapPeap(host);
      default:
        return nullptr;
    }
  } catch (...) {  // out of memory: no method, which the caller reports
    return nullptr;
  }
}
