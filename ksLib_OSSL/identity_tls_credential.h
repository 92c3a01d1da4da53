#pragma once
// The TLS credential of an identity: what a TLS method needs to start as that user, with or
// without the client certificate. status is 0 when the credential is usable.
#include <cstdint>

#include <dcf/RefCounted.h>
#include <dcf/dcfComPtr.h>

#include "inc/ksCertUtility.h"
#include "ksLib_OSSL/tls_context.h"

class IdentityTlsCredential : public RefCounted {
public:
  static constexpr std::uint32_t kReady = 0;
  static constexpr std::uint32_t kContextFailed = 0x7000;       // no TLS context or chain
  static constexpr std::uint32_t kCertificateNotFound = 0xC000;

  IdentityTlsCredential() = default;

  std::uint32_t status = kReady;
  bool hasHash = false;
  std::uint8_t hash[20] = {};
  dcfComPtr<TlsContext> context;  // null unless the status is kReady
  dcfComPtr<ksCert> certificate;  // the client certificate, whose key signs; may be null
};
