// The TLS side of a TLS-family EAP method (EAP-TLS, TTLS, PEAP) as the method host sets it
// up: which EAP type it frames, its limits, and the two hooks through which the TLS engine
// reaches the host during the handshake. Made on an identity's TLS context.
#pragma once

#include <cstdint>

#include "ksSupp/cert_list.h"

class EapTlsPeer {
 public:
  // Signs the client's CertificateVerify digest: 0 with the signature in out, -1 on failure.
  using ExternalSigner = int (*)(void* argument, char selector, std::uint32_t keySize,
                                 const std::uint8_t* digest, std::uint32_t digestLength,
                                 std::uint32_t request1, std::uint32_t request2,
                                 std::uint8_t* out, std::uint32_t capacity,
                                 std::uint32_t* outLength);
  // Judges the server's chain in place of the engine: 0 accepts it.
  using ChainVerifyHook = std::uint32_t (*)(void* argument, const DerCertificate* certificates,
                                            std::uint32_t count);

  // Each operation returns 0 on success.
  virtual std::uint32_t EnableEapType(const char* name) = 0;  // "tls", "ttls" or "peap"
  virtual std::uint32_t SetPeapVersionRange(std::uint32_t lowest, std::uint32_t highest) = 0;
  virtual std::uint32_t SetMaxMessageSize(std::uint32_t bytes) = 0;
  virtual std::uint32_t SetSessionResumptionTimeout(std::uint32_t seconds) = 0;
  virtual std::uint32_t SetExternalSigner(ExternalSigner signer, void* argument) = 0;
  virtual std::uint32_t CreateConnection() = 0;
  virtual std::uint32_t SetChainVerifyHook(ChainVerifyHook hook, void* argument) = 0;
  // Drops the caller's reference.
  virtual std::uint32_t Release() = 0;

 protected:
  ~EapTlsPeer() = default;
};
