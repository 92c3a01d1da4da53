#include "ksLib_OSSL/tls_context.h"

#include <ctime>
#include <new>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include "ksLib_OSSL/cipher_list.h"
#include "ksLib_OSSL/server_key_strength.h"
#include "ksLib_OSSL/openssl_eap_tls_peer.h"
#include "ksLib_OSSL/tls_connection.h"
#include "tls-extensions/engine_hooks.h"
#include "tls-extensions/external_signer.h"

namespace {

struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
struct X509Free {
  void operator()(X509* certificate) const { X509_free(certificate); }
};

// Reads one certificate of the given encoding; 0 and *certificate, or a loader code.
std::int32_t ReadCertificate(std::uint32_t type, const std::uint8_t* bytes, std::uint32_t length,
                             X509** certificate) {
  *certificate = nullptr;
  std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
  if (!bio) return TlsContext::kOutOfMemory;
  if (bytes == nullptr || length == 0 || length > INT32_MAX ||
      BIO_write(bio.get(), bytes, static_cast<int>(length)) <= 0) {
    return TlsContext::kBioWriteFailed;
  }
  if (type == TlsContext::kPem) {
    *certificate = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr);
    if (*certificate == nullptr) return TlsContext::kPemUnreadable;
  } else if (type == TlsContext::kDer) {
    *certificate = d2i_X509_bio(bio.get(), nullptr);
    if (*certificate == nullptr) return TlsContext::kDerUnreadable;
  } else {
    return TlsContext::kBadType;
  }
  return 0;
}

// Reads one certificate and hands it to `install` (an OpenSSL call, 1 on success); 0, the
// reader's code, or `refused`. OpenSSL's error queue is left clean.
template <class Install>
std::int32_t LoadCertificate(std::uint32_t type, const std::uint8_t* bytes, std::uint32_t length,
                             std::int32_t refused, Install install) {
  X509* read = nullptr;
  std::int32_t result = ReadCertificate(type, bytes, length, &read);
  std::unique_ptr<X509, X509Free> certificate(read);
  if (result == 0 && install(certificate.get()) != 1) result = refused;
  if (result != 0) ERR_clear_error();
  return result;
}

}  // namespace

TlsContext::TlsContext(TlsConfig* config) : dhExponentBits_(config->DhExponentBits()) {
  config->AddRef();
  config_.Attach(config);
}

TlsContext::~TlsContext() {
  if (cachedSession_ != nullptr) SSL_SESSION_free(cachedSession_);
  SSL_CTX_free(context_);
}

std::int32_t TlsContext::Create(TlsConfig* config, TlsContext** context) {
  *context = nullptr;
  auto* made = new (std::nothrow) TlsContext(config);
  if (made == nullptr) return kOutOfMemory;
  ERR_clear_error();
  // In the engine's library context, where the client's key can be a placeholder that signs
  // outside the engine.
  OSSL_LIB_CTX* library = TlsEngineLibraryContext();
  made->context_ = library != nullptr ? SSL_CTX_new_ex(library, nullptr, TLS_client_method()) : nullptr;
  if (made->context_ == nullptr) {
    const unsigned long error = ERR_get_error();
    ERR_clear_error();
    made->Release();
    if (ERR_GET_REASON(error) == ERR_R_MALLOC_FAILURE) return kOutOfMemory;
    if (ERR_GET_LIB(error) == ERR_LIB_SSL && ERR_GET_REASON(error) == SSL_R_LIBRARY_HAS_NO_CIPHERS) {
      return kNoCiphers;
    }
    return kContextFailed;
  }
  SSL_CTX* handle = made->context_;
  SSL_CTX_set_mode(handle, SSL_MODE_AUTO_RETRY);
  SSL_CTX_set_min_proto_version(handle, TLS1_VERSION);
  SSL_CTX_set_max_proto_version(handle, TLS1_2_VERSION);
  // EAP servers still speak TLS 1.0 and 1.1, whose handshakes sign with MD5 and SHA-1:
  // OpenSSL 3 refuses those at security level 1 and above. The level is lowered for these
  // contexts only; the server's chain is judged by the chain-verify hook either way.
  SSL_CTX_set_security_level(handle, 0);
  // Level 0 would also take servers with 512- to 1024-bit RSA or DH keys.
  SSL_CTX_set_security_callback(handle, ServerKeyStrengthCallback);
  SSL_CTX_set_session_cache_mode(handle, SSL_SESS_CACHE_CLIENT);
  SSL_CTX_set_info_callback(handle, TlsInfoCallback);
  if (!TlsInstallEngineHooks(handle, &kServerKeyPolicy)) {
    made->Release();
    return kContextFailed;
  }
  *context = made;
  return 0;
}

std::int32_t TlsContext::ApplyConfiguration() {
  TlsConfig* config = config_.Get();
  if (config->CipherSuites().Empty()) {
    for (const std::uint16_t id : kDefaultClientCipherSuites) {
      if (config->AddCipherSuite(id) != 0) return kOutOfMemory;
    }
  }
  try {
    // The forward-secret AES-GCM suites first: a TLS 1.2 server that follows our order
    // takes one of them rather than an RSA key exchange of the configured suites, which
    // date from TLS 1.0 and come next, for servers that offer nothing newer. A
    // configuration without any servable suite is still refused.
    const std::string configured = BuildCipherList(config->CipherSuites());
    cipherList_ =
        configured.empty() ? configured : std::string(kTls12ForwardSecretSuites) + ":" + configured;
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  }
  if (SSL_CTX_set_cipher_list(context_, cipherList_.c_str()) != 1) {
    ERR_clear_error();
    return kCipherListRefused;
  }
  return 0;
}

std::int32_t TlsContext::SetVerifyPeer(bool required) {
  SSL_CTX_set_verify(context_, required ? SSL_VERIFY_PEER : SSL_VERIFY_NONE, nullptr);
  return 0;
}

std::int32_t TlsContext::UseCertificateDer(std::uint32_t type, const std::uint8_t* bytes,
                                           std::uint32_t length) {
  return LoadCertificate(type, bytes, length, kCertificateRefused, [this](X509* certificate) {
    return SSL_CTX_use_certificate(context_, certificate);
  });
}

std::int32_t TlsContext::AddChainCertificateDer(std::uint32_t type, const std::uint8_t* bytes,
                                                std::uint32_t length) {
  // add1: the context takes its own reference.
  return LoadCertificate(type, bytes, length, kChainCertificateRefused, [this](X509* certificate) {
    return SSL_CTX_add1_chain_cert(context_, certificate);
  });
}

std::int32_t TlsContext::UsePrivateKeyDer(const std::uint8_t* bytes, std::uint32_t length) {
  if (bytes == nullptr || length == 0 || length > INT32_MAX) return kDerUnreadable;
  const unsigned char* cursor = bytes;
  EVP_PKEY* key = d2i_AutoPrivateKey(nullptr, &cursor, static_cast<long>(length));
  if (key == nullptr) {
    ERR_clear_error();
    return kDerUnreadable;
  }
  const int used = SSL_CTX_use_PrivateKey(context_, key);
  EVP_PKEY_free(key);
  if (used != 1 || SSL_CTX_check_private_key(context_) != 1) {
    ERR_clear_error();
    return kKeyRefused;
  }
  return 0;
}

std::int32_t TlsContext::InstallExternalSigner(SSL* connection, ExternalSignCallbackEx sign,
                                              void* argument) {
  return TlsUseExternalSigner(connection, sign, argument) ? 0 : -1;
}

std::int32_t TlsContext::SetDefaultResumptionTimeout(std::uint32_t seconds) {
  defaultResumptionTimeout_ = seconds;
  return 0;
}

std::int32_t TlsContext::CreatePeer(OpenSslEapTlsPeer** peer) {
  *peer = new (std::nothrow) OpenSslEapTlsPeer(this);
  return *peer != nullptr ? 0 : kOutOfMemory;
}

SSL_SESSION* TlsContext::CachedSession(std::uint32_t maxAgeSeconds) {
  std::lock_guard<std::mutex> hold(cacheLock_);
  if (cachedSession_ == nullptr) return nullptr;
  const std::int64_t age = static_cast<std::int64_t>(std::time(nullptr)) - cachedAt_;
  if (age < 0 || age >= static_cast<std::int64_t>(maxAgeSeconds)) return nullptr;
  SSL_SESSION_up_ref(cachedSession_);
  return cachedSession_;
}

void TlsContext::CacheSession(SSL_SESSION* session) {
  SSL_SESSION_up_ref(session);
  std::lock_guard<std::mutex> hold(cacheLock_);
  if (cachedSession_ != nullptr) SSL_SESSION_free(cachedSession_);
  cachedSession_ = session;
  cachedAt_ = static_cast<std::int64_t>(std::time(nullptr));
}

void TlsContext::ForgetSession(const SSL_SESSION* session) {
  std::lock_guard<std::mutex> hold(cacheLock_);
  if (session == nullptr || session != cachedSession_) return;
  SSL_SESSION_free(cachedSession_);
  cachedSession_ = nullptr;
  cachedAt_ = 0;
}
