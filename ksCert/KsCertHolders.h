#pragma once
// Scope holders for the certificate-store handles the library uses in its operations: each
// gives its handle back when it goes out of scope, unless Release() hands it on.
#include <collections/dcfArray.h>

#include <memory>

#include "platform/cryptoapi/cert_chain.h"
#include "platform/cryptoapi/cert_context.h"
#include "platform/cryptoapi/cert_store.h"
#include "platform/cryptoapi/private_key.h"

struct CertStoreCloser {
  void operator()(capi::HCERTSTORE store) const { capi::CertCloseStore(store, 0); }
};
using CertStoreHolder = std::unique_ptr<capi::CertStore, CertStoreCloser>;

struct CertContextFreer {
  void operator()(capi::PCCERT_CONTEXT context) const { capi::CertFreeCertificateContext(context); }
};
using CertContextHolder = std::unique_ptr<const capi::CertContext, CertContextFreer>;

// Frees the contexts an array holds, the last first, and empties it.
inline void FreeContextsLastFirst(dcfArray<capi::PCCERT_CONTEXT>& contexts) {
  for (std::uint32_t i = contexts.Length(); i > 0; --i) capi::CertFreeCertificateContext(contexts[i - 1]);
  contexts.Clear();
}

struct ChainFreer {
  void operator()(capi::PCCERT_CHAIN_CONTEXT chain) const { capi::CertFreeCertificateChain(chain); }
};
using ChainHolder = std::unique_ptr<const capi::CertChainContext, ChainFreer>;

// A certificate's private-key provider; released only when acquiring it said the caller
// must free it.
class CryptProvHolder {
public:
  CryptProvHolder() = default;
  ~CryptProvHolder() {
    if (provider_ != nullptr && callerMustFree_) capi::CryptReleaseContext(provider_, 0);
  }
  CryptProvHolder(const CryptProvHolder&) = delete;
  CryptProvHolder& operator=(const CryptProvHolder&) = delete;

  // Acquires the key of the context, checked against its public key.
  bool Acquire(capi::PCCERT_CONTEXT context) {
    return capi::CryptAcquireCertificatePrivateKey(context, capi::CRYPT_ACQUIRE_COMPARE_KEY_FLAG, &provider_,
                                                   &keySpec_, &callerMustFree_);
  }
  capi::HCRYPTPROV Get() const { return provider_; }
  std::uint32_t KeySpec() const { return keySpec_; }

private:
  capi::HCRYPTPROV provider_ = nullptr;
  std::uint32_t keySpec_ = 0;
  bool callerMustFree_ = false;
};
