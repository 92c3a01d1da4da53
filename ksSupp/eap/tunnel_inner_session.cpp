#include "ksSupp/eap/tunnel_inner_session.h"

#include <dcf/dcfEapHeader.h>

#include "ksSupp/eap/eap_md5_challenge.h"
#include "ksSupp/eap/eap_ms_chap_v2.h"
#include "ksSupp/eap/eap_token_card.h"
#include "ksSupp/eap_method_host.h"
#include "ksSupp/eap_type_list.h"

EapMethod* TunnelInnerSession::CreateMethod(std::uint32_t type) {
  EapMethodHostServices* services = host_ != nullptr ? host_->Services() : nullptr;
  switch (type) {
    case kEapTypeMd5Challenge:
      return new EapMd5Challenge(services);
    case kEapTypeTokenCard: {
      const bool sendPassword = allowedTypes_ != nullptr && allowedTypes_->sendPasswordInGtc;
      return new EapTokenCard(services, !sendPassword);
    }
    case kEapTypeMsChapV2:
      return new EapMsChapV2(services);
    default:
      return nullptr;
  }
}

const EapTypeList* TunnelInnerSession::TypesOf(std::uint32_t tunnelType, EapMethodHost* host) {
  return host != nullptr ? host->InnerEapTypes(tunnelType) : nullptr;
}

PeapInnerFactory::PeapInnerFactory(EapMethodHost* host) : TunnelInnerSession(kEapTypePeap, host) {}

TtlsInnerFactory::TtlsInnerFactory(EapMethodHost* host) : TunnelInnerSession(kEapTypeTtls, host) {}
