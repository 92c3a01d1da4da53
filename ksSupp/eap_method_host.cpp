#include "ksSupp/eap_method_host.h"

#include "ksLib_OSSL/eap_tls_peer.h"
#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap_packet.h"

std::uint32_t EapMethodHost::CreateTlsPeer(std::uint32_t /*eapType*/, bool /*withCertificate*/,
                                           EapTlsPeer** peer) {
  *peer = nullptr;
  return kEapNoCredential;
}

std::int32_t EapMethodHost::SetupTls(EapTlsPeer& peer, std::uint32_t eapType,
                                     std::uint32_t resumptionTimeout, ChainVerdictCallback judge,
                                     void* judgeArgument) {
  const char* name = eapType == kEapTypeTls    ? "tls"
                     : eapType == kEapTypeTtls ? "ttls"
                     : eapType == kEapTypePeap ? "peap"
                                               : nullptr;
  std::int32_t result = peer.EnableEapType(name);
  if (result == 0) result = peer.SetPeapVersionRange(0, 1);
  if (result == 0) result = peer.SetMaxMessageSize(kTlsMaxMessageSize);
  if (result == 0) result = peer.SetSessionResumptionTimeout(resumptionTimeout);
  if (result == 0) result = peer.CreateConnection();
  if (result == 0) result = peer.SetChainVerifyHook(judge, judgeArgument);
  return result;
}
