#include "ksLib_OSSL/tls_chain_verify.h"

#include <new>
#include <vector>

#include <openssl/crypto.h>
#include <openssl/x509.h>

int ChainVerdictToVerifyError(ChainVerdict verdict) {
  switch (verdict) {
    case 0: return X509_V_OK;
    case 1: return X509_V_ERR_CERT_NOT_YET_VALID;
    case 2: return X509_V_ERR_CERT_HAS_EXPIRED;
    case 3: return X509_V_ERR_CERT_REVOKED;
    case 4: return X509_V_ERR_CERT_SIGNATURE_FAILURE;
    case 5: return X509_V_ERR_INVALID_PURPOSE;
    case 6: return X509_V_ERR_CERT_UNTRUSTED;
    case 7: return X509_V_ERR_UNABLE_TO_GET_CRL;
    case 9: return X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT;
    default: return X509_V_ERR_APPLICATION_VERIFICATION;
  }
}

int TlsChainVerifyCallback(X509_STORE_CTX* store, void* hook) {
  const auto* verdictHook = static_cast<const ChainVerdictHook*>(hook);
  std::vector<unsigned char*> encoded;
  ChainVerdict verdict = 8;
  try {
    STACK_OF(X509)* sent = X509_STORE_CTX_get0_untrusted(store);
    const int count = sent != nullptr ? sk_X509_num(sent) : 0;
    std::vector<DerCertificate> chain;
    chain.reserve(static_cast<std::size_t>(count));
    encoded.reserve(static_cast<std::size_t>(count));
    bool complete = verdictHook != nullptr && verdictHook->callback != nullptr;
    for (int i = 0; i < count && complete; ++i) {
      unsigned char* der = nullptr;
      const int length = i2d_X509(sk_X509_value(sent, i), &der);
      if (length <= 0) {
        complete = false;
        break;
      }
      encoded.push_back(der);
      chain.push_back({der, static_cast<std::uint32_t>(length)});
    }
    // A chain we could not hand over whole is never judged trusted.
    if (complete) {
      verdict = verdictHook->callback(verdictHook->argument, chain.data(),
                                      static_cast<std::uint32_t>(chain.size()));
    }
  } catch (...) {
    verdict = 8;
  }
  for (unsigned char* der : encoded) OPENSSL_free(der);
  const int error = ChainVerdictToVerifyError(verdict);
  X509_STORE_CTX_set_error(store, error);
  return error == X509_V_OK ? 1 : 0;
}
