#include "platform/cryptoapi/private_key.h"

#include <openssl/x509.h>

#include "platform/cryptoapi/cert_store.h"
#include "platform/cryptoapi/directory_store.h"
#include "platform/cryptoapi/last_error.h"
#include "platform/cryptoapi/openssl_error_scope.h"
#include "platform/cryptoapi/stored_certificate.h"

namespace capi {

struct KeyProvider {
  detail::PrivateKey key;
};

namespace detail {

PrivateKey DecodePrivateKey(const std::uint8_t* pkcs8, std::size_t length) {
  if (pkcs8 == nullptr || length == 0 || length > 64 * 1024) return nullptr;
  OpenSslErrorScope errors;
  const unsigned char* cursor = pkcs8;
  PKCS8_PRIV_KEY_INFO* info = d2i_PKCS8_PRIV_KEY_INFO(nullptr, &cursor, static_cast<long>(length));
  if (info == nullptr) return nullptr;
  EVP_PKEY* key = cursor == pkcs8 + length ? EVP_PKCS82PKEY(info) : nullptr;
  PKCS8_PRIV_KEY_INFO_free(info);  // wipes the key material it held
  return PrivateKey(key, EVP_PKEY_free);
}

std::vector<std::uint8_t> EncodePrivateKey(const EVP_PKEY& key) {
  std::vector<std::uint8_t> bytes;
  PKCS8_PRIV_KEY_INFO* info = EVP_PKEY2PKCS8(&key);
  if (info == nullptr) return bytes;
  unsigned char* out = nullptr;
  const int length = i2d_PKCS8_PRIV_KEY_INFO(info, &out);
  PKCS8_PRIV_KEY_INFO_free(info);
  if (length > 0) {
    bytes.assign(out, out + length);
    OPENSSL_clear_free(out, static_cast<std::size_t>(length));
  }
  return bytes;
}

}  // namespace detail

namespace {

detail::PrivateKey KeyOf(PCCERT_CONTEXT context, bool* refused) {
  detail::StoredCertificate& certificate = *detail::RecordOf(context)->certificate;
  if (context->store != nullptr && context->store->kind == CertStore::Kind::Directory) {
    return detail::LoadKey(context->store->directory, certificate.sha1, refused);
  }
  std::lock_guard guard(certificate.propertyLock);
  return certificate.privateKey;
}

}  // namespace

bool CryptAcquireCertificatePrivateKey(PCCERT_CONTEXT context, std::uint32_t flags, HCRYPTPROV* provider,
                                       std::uint32_t* keySpec, bool* callerMustFree) {
  if (context == nullptr || provider == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  *provider = nullptr;
  bool refused = false;
  detail::PrivateKey key = KeyOf(context, &refused);
  if (key == nullptr) {
    SetLastError(refused ? NTE_PERM : CRYPT_E_NO_KEY_PROPERTY);
    return false;
  }
  detail::OpenSslErrorScope errors;
  if ((flags & CRYPT_ACQUIRE_COMPARE_KEY_FLAG) != 0 && X509_check_private_key(context->info, key.get()) != 1) {
    SetLastError(NTE_BAD_PUBLIC_KEY);
    return false;
  }
  *provider = new KeyProvider{std::move(key)};
  if (keySpec != nullptr) *keySpec = EVP_PKEY_get_base_id(ProviderKey(*provider)) == EVP_PKEY_RSA ? AT_KEYEXCHANGE : AT_SIGNATURE;
  if (callerMustFree != nullptr) *callerMustFree = true;
  return true;
}

bool CryptReleaseContext(HCRYPTPROV provider, std::uint32_t) {
  delete provider;
  return true;
}

const EVP_PKEY* ProviderKey(HCRYPTPROV provider) { return provider != nullptr ? provider->key.get() : nullptr; }

bool CertSetPrivateKey(PCCERT_CONTEXT context, const std::uint8_t* pkcs8, std::uint32_t length) {
  if (context == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  detail::PrivateKey key = detail::DecodePrivateKey(pkcs8, length);
  if (key == nullptr) {
    SetLastError(CRYPT_E_ASN1_BADTAG);
    return false;
  }
  detail::StoredCertificate& certificate = *detail::RecordOf(context)->certificate;
  if (context->store != nullptr && context->store->kind == CertStore::Kind::Directory) {
    if (!detail::SaveKey(context->store->directory, certificate.sha1, *key)) {
      SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    return true;
  }
  std::lock_guard guard(certificate.propertyLock);
  certificate.privateKey = std::move(key);
  return true;
}

}  // namespace capi
