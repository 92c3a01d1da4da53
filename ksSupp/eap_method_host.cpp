#include "ksSupp/eap_method_host.h"

#include "ksSupp/eap/eap_status.h"

const EapTypeList* EapMethodHost::InnerEapTypes(std::uint32_t /*tunnelType*/) { return nullptr; }

std::uint32_t EapMethodHost::GetTtlsInnerAuthProtocol() const { return 0; }

std::uint32_t EapMethodHost::CreateTlsPeer(std::uint32_t /*eapType*/, bool /*withCertificate*/,
                                           EapTlsPeer** peer) {
  *peer = nullptr;
  return kEapNoCredential;
}
