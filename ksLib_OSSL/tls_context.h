#pragma once
// TlsContext: one client-role OpenSSL SSL_CTX built from the supplicant context's TLS
// configuration. It carries the cipher list, the client certificate with its chain and key,
// the verify mode, the engine hooks (the server's chain is judged by the connection's
// chain-verify hook, never by OpenSSL alone), the callback that records the first fatal
// alert, and a one-entry session cache for resumption. EAP methods never touch the SSL_CTX:
// they get an OpenSslEapTlsPeer from CreatePeer.
//
// Connections speak TLS 1.0 to 1.2, as EAP-TLS servers do (the EAP-TLS key derivation of
// TLS 1.3 is a different one).
#include <cstdint>
#include <mutex>
#include <string>

#include <dcf/RefCounted.h>
#include <dcf/dcfComPtr.h>

#include <openssl/ssl.h>

#include "ksLib_OSSL/tls_config.h"
#include "tls-extensions/external_signer.h"

class OpenSslEapTlsPeer;

class TlsContext : public RefCounted {
public:
  // Results of the operations (0 success).
  enum : std::int32_t {
    kBioWriteFailed = 1,
    kOutOfMemory = 2,
    kBadType = 4,
    kPemUnreadable = 6,
    kDerUnreadable = 7,
    kChainCertificateRefused = 15,
    kCertificateRefused = 16,
    kKeyRefused = 17,
    kNoCiphers = 27,
    kContextFailed = 28,
    kCipherListRefused = 31,
  };
  // Certificate encodings for UseCertificateDer and AddChainCertificateDer.
  static constexpr std::uint32_t kPem = 1;
  static constexpr std::uint32_t kDer = 2;

  // A new context (one reference) on the configuration; 0, or 2, 27, 28 with *context null.
  static std::int32_t Create(TlsConfig* config, TlsContext** context);

  // Builds the cipher list from the configuration (an empty list is replaced by, and written
  // back as, the client default); 0 or 31.
  std::int32_t ApplyConfiguration();
  // Whether the server must present a certificate chain that the chain-verify hook accepts.
  std::int32_t SetVerifyPeer(bool required);
  // The client certificate, and further certificates of its chain; 0 or a loader code.
  std::int32_t UseCertificateDer(std::uint32_t type, const std::uint8_t* bytes,
                                 std::uint32_t length);
  std::int32_t AddChainCertificateDer(std::uint32_t type, const std::uint8_t* bytes,
                                      std::uint32_t length);
  // The client certificate's private key (PKCS#8 DER), from the certificate store that
  // holds it; 0, 7 unreadable or 17 when it does not match the certificate. OpenSSL 3 has
  // no public hook to sign the CertificateVerify outside the engine, so the key is given to
  // the engine instead.
  std::int32_t UsePrivateKeyDer(const std::uint8_t* bytes, std::uint32_t length);

  // Makes a connection of this context sign its CertificateVerify through `sign`: when the
  // context has the client's RSA certificate without its key, the connection gets a
  // placeholder key that hands the bytes to sign to `sign` with `argument`. 0 installed, -1
  // when there is nothing for a signer to do.
  std::int32_t InstallExternalSigner(SSL* connection, ExternalSignCallbackEx sign, void* argument);

  std::int32_t SetDefaultResumptionTimeout(std::uint32_t seconds);
  std::uint32_t DefaultResumptionTimeout() const { return defaultResumptionTimeout_; }

  // A new peer (one reference) on this context; 0, or 2.
  std::int32_t CreatePeer(OpenSslEapTlsPeer** peer);

  SSL_CTX* Handle() const { return context_; }
  TlsConfig* Config() const { return config_.Get(); }
  std::uint32_t DhExponentBits() const { return dhExponentBits_; }
  const std::string& CipherList() const { return cipherList_; }

  // The session cache: the cached session (one reference for the caller, null when none or
  // older than maxAgeSeconds), keeping a session, and forgetting it when it is `session`.
  SSL_SESSION* CachedSession(std::uint32_t maxAgeSeconds);
  void CacheSession(SSL_SESSION* session);
  void ForgetSession(const SSL_SESSION* session);

private:
  explicit TlsContext(TlsConfig* config);
  ~TlsContext() override;

  dcfComPtr<TlsConfig> config_;
  SSL_CTX* context_ = nullptr;
  std::uint32_t dhExponentBits_ = 0;
  std::string cipherList_;
  std::uint32_t defaultResumptionTimeout_ = 0;

  // Links on several threads may share an identity's context.
  std::mutex cacheLock_;
  SSL_SESSION* cachedSession_ = nullptr;
  std::int64_t cachedAt_ = 0;  // time(NULL) when it was cached
};
