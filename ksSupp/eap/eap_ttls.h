// EAP-TTLS (EAP type 21, RFC 5281): the TLS phase is EAP-TLS's; inside the tunnel one inner
// protocol, chosen by the identity, speaks in AVPs. Keys: 64 bytes with the label "ttls
// keying material"; the inner challenges come from the label "ttls challenge".
#pragma once

#include <strings/dcfString.h>

#include <memory>

#include "ksSupp/eap/eap_tls.h"
#include "ksSupp/eap/ttls_inner_protocol.h"

class EapTtls : public EapTls {
 public:
  explicit EapTtls(EapMethodHost* methodHost);
  ~EapTtls() override;

  std::uint32_t Initialize() override;
  std::uint32_t GetStatus() override;
  std::uint32_t VerifyCompletion() override;
  const char* GetName() override;
  bool GetKeys(std::uint8_t keys[kEapKeyBlockSize]) override;
  void Terminate() override {}
  std::uint32_t ReceiveEapRequest(const std::uint8_t* packet, std::uint32_t length) override;

  TtlsInnerProtocol* inner() const { return inner_.get(); }

 private:
  std::uint32_t OpenTunnel();
  std::uint32_t RunInner(const std::uint8_t* avps, std::uint32_t length);

  std::uint32_t selector_ = 0;
  std::unique_ptr<TtlsInnerProtocol> inner_;
  dcfString displayName_;
};
