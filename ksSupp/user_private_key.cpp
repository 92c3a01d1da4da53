#include "ksSupp/user_private_key.h"

#include <openssl/x509.h>

#include "ksLib_OSSL/tls_context.h"
#include "platform/cryptoapi/cert_context.h"
#include "platform/cryptoapi/cert_store.h"
#include "platform/cryptoapi/private_key.h"

namespace {

// The key as PKCS#8 DER, wiped when done.
bool GiveKey(const EVP_PKEY* key, TlsContext& context) {
  if (key == nullptr) return false;
  PKCS8_PRIV_KEY_INFO* info = EVP_PKEY2PKCS8(key);
  if (info == nullptr) return false;  // also for a null key
  unsigned char* der = nullptr;
  const int length = i2d_PKCS8_PRIV_KEY_INFO(info, &der);
  PKCS8_PRIV_KEY_INFO_free(info);
  if (length <= 0) return false;
  const bool given = context.UsePrivateKeyDer(der, static_cast<std::uint32_t>(length)) == 0;
  OPENSSL_clear_free(der, static_cast<std::size_t>(length));
  return given;
}

}  // namespace

bool LoadUserPrivateKey(UserKeyLocation location, const std::uint8_t hash[20],
                        TlsContext& context) {
  capi::HCERTSTORE store = capi::CertOpenSystemStore(
      location == UserKeyLocation::kCurrentUser ? capi::StoreLocation::CurrentUser
                                                : capi::StoreLocation::LocalMachine,
      "MY");
  if (store == nullptr) return false;
  const capi::CryptHashBlob wanted{20, hash};
  capi::PCCERT_CONTEXT certificate = capi::CertFindCertificateInStore(
      store, capi::X509_ASN_ENCODING, 0, capi::CERT_FIND_SHA1_HASH, &wanted, nullptr);
  bool given = false;
  if (certificate != nullptr) {
    capi::HCRYPTPROV provider = nullptr;
    std::uint32_t keySpec = 0;
    bool callerMustFree = false;
    if (capi::CryptAcquireCertificatePrivateKey(certificate, capi::CRYPT_ACQUIRE_COMPARE_KEY_FLAG,
                                                &provider, &keySpec, &callerMustFree)) {
      given = GiveKey(capi::ProviderKey(provider), context);
      capi::CryptReleaseContext(provider, 0);
    }
    capi::CertFreeCertificateContext(certificate);
  }
  capi::CertCloseStore(store, 0);
  return given;
}
