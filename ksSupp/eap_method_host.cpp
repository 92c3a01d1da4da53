#include "ksSupp/eap_method_host.h"

#include "ksSupp/eap/eap_status.h"

std::uint32_t EapMethodHost::CreateTlsPeer(std::uint32_t /*eapType*/, bool /*withCertificate*/,
                                           EapTlsPeer** peer) {
  *peer = nullptr;
  return kEapNoCredential;
}
