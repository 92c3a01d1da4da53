#pragma once
// ApiContext: the object behind a context handle. It holds the TLS settings that all
// authentications share, the TLS configuration built from them, and the certificate utility
// with its chain engine for the current user; identities, links and certificate lists hold
// a reference on it.
#include <cstdint>

#include <collections/dcfArray.h>
#include <dcf/RefCounted.h>
#include <dcf/dcfComPtr.h>

#include "inc/ksCertUtility.h"
#include "ksLib_OSSL/identity_tls_credential.h"
#include "ksLib_OSSL/tls_config.h"
#include "ksSupp/cert_list.h"

class TlsContext;

class ApiContext : public RefCounted {
public:
  static constexpr std::uint32_t kDefaultDhExponentBits = 192;

  // A context over the certificate library's root (adopting the one reference given): its
  // chain engine for "Current User" is made at once. Null when memory ran out (the root is
  // released). Throws dcfRunTimeException, with the library's HRESULT (E_FAIL when that is
  // not a failure code), when the engine cannot be made; nothing is left behind.
  static ApiContext* Create(ksCertUtility* certUtility);

  void SetTlsCipherSuites(const std::uint32_t* ids, std::uint32_t count);
  void SetDhExponentBits(std::uint32_t bits) { dhExponentBits_ = bits; }
  // Replaces the TLS configuration by one built from the settings; a step that fails leaves
  // the configuration as far as it got.
  void InitializeTls();

  const dcfU32Array& TlsCipherSuites() const { return cipherSuites_; }
  std::uint32_t DhExponentBits() const { return dhExponentBits_; }
  TlsConfig* Tls() const { return tlsConfig_.Get(); }
  ksCertUtility* CertUtility() const { return certUtility_.Get(); }
  ksCertChainEngine* ChainEngine() const { return chainEngine_.Get(); }

  // A new list (one reference) holding a copy of each certificate, in order.
  CertList* CreateCertList(const DerCertificate* certificates, std::uint32_t count);

  // Builds the chain of list (first: the end certificate) with the chain engine for server
  // use and judges it. *chain receives the built chain (null when none was built). Failures
  // of the certificate library are thrown as dcfRunTimeException.
  std::int32_t ValidateServerChain(const CertList& list, CertList** chain);

  // The TLS credential of an identity: location 0 none, 1 the current user's "my" store, 2
  // the local machine's; hash the certificate's SHA-1 or null; or the certificate as an
  // object (its hash is recorded, its chain built over the location's stores, the current
  // user's for location 0). One reference for the caller. Its status is 0 with a client
  // context (with the certificate and its chain when one was named; the key stays in the
  // store and signs through the external signer), 0xC000 when the certificate is not there,
  // 0x7000 when the context or the chain could not be had. Failures of the certificate
  // library are thrown as dcfRunTimeException.
  IdentityTlsCredential* CreateTlsContext(std::uint32_t location, const std::uint8_t* hash,
                                          ksCert* certificate = nullptr);

private:
  ApiContext();
  ~ApiContext() override = default;

  // Loads the user's certificate and its chain (over the location's "root" and "ca" stores)
  // into the context; a credential status (0 when loaded). An RSA key stays in the store:
  // the connection signs through the external signer. Other keys (the signer has no
  // placeholder for them) are given to the engine from the location's store, where they are
  // kept beside the certificate.
  std::uint32_t LoadUserCertificate(std::uint32_t location, ksCert& cert,
                                    const std::uint8_t hash[20], TlsContext& context);
  // The chain of list (first: the end certificate) built for server use by the chain
  // engine; null when the engine built none.
  ksCertChain* ValidateChainCerts(const CertList& list);
  // The body of CreateTlsContext: the credential's status, hash and context.
  void FillCredential(IdentityTlsCredential& credential, std::uint32_t location,
                      const std::uint8_t* hash, ksCert* certificate);

  // Released in the reverse order: TLS configuration, chain engine, certificate utility,
  // then the ids.
  dcfU32Array cipherSuites_;
  std::uint32_t dhExponentBits_ = kDefaultDhExponentBits;
  dcfComPtr<ksCertUtility> certUtility_;
  dcfComPtr<ksCertChainEngine> chainEngine_;
  dcfComPtr<TlsConfig> tlsConfig_;
};

// The verdict a chain's trust flags give (the first flag that applies decides).
std::int32_t TrustToChainVerdict(std::uint32_t trustFlags);
