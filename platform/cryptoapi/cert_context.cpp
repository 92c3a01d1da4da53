#include "platform/cryptoapi/cert_context.h"

#include <openssl/evp.h>

#include <cstring>

#include "platform/cryptoapi/cert_store.h"
#include "platform/cryptoapi/directory_store.h"
#include "platform/cryptoapi/last_error.h"
#include "platform/cryptoapi/openssl_error_scope.h"
#include "platform/cryptoapi/stored_certificate.h"

namespace capi {
namespace detail {

std::shared_ptr<StoredCertificate> DecodeCertificate(const std::uint8_t* encoded,
                                                     std::uint32_t length) {
  if (encoded == nullptr || length == 0 || length > kMaxCertificateBytes) return nullptr;
  OpenSslErrorScope errors;
  auto certificate = std::make_shared<StoredCertificate>();
  certificate->bytes.assign(encoded, encoded + length);
  const unsigned char* cursor = certificate->bytes.data();
  certificate->x509.reset(d2i_X509(nullptr, &cursor, static_cast<long>(length)));
  // One certificate and nothing after it: its hash then names exactly these bytes.
  if (!certificate->x509 || cursor != certificate->bytes.data() + length) return nullptr;
  unsigned int hashLength = 0;
  if (EVP_Digest(certificate->bytes.data(), length, certificate->sha1, &hashLength, EVP_sha1(),
                 nullptr) != 1 ||
      hashLength != kSha1HashSize) {
    return nullptr;
  }
  return certificate;
}

PCCERT_CONTEXT MakeContext(std::shared_ptr<StoredCertificate> certificate, HCERTSTORE store) {
  auto* record = new ContextRecord;
  record->encodingType = X509_ASN_ENCODING;
  record->encoded = certificate->bytes.data();
  record->encodedLength = static_cast<std::uint32_t>(certificate->bytes.size());
  record->info = certificate->x509.get();
  record->store = store != nullptr ? CertDuplicateStore(store) : nullptr;
  record->certificate = std::move(certificate);
  return record;
}

}  // namespace detail

namespace {

// Copies a property value out under the size rules of CertGetCertificateContextProperty.
bool CopyOut(const void* value, std::uint32_t valueSize, void* data, std::uint32_t* size) {
  if (data == nullptr) {
    *size = valueSize;
    return true;
  }
  if (*size < valueSize) {
    *size = valueSize;
    SetLastError(ERROR_MORE_DATA);
    return false;
  }
  std::memcpy(data, value, valueSize);
  *size = valueSize;
  return true;
}

}  // namespace

PCCERT_CONTEXT CertCreateCertificateContext(std::uint32_t encodingType,
                                            const std::uint8_t* encoded, std::uint32_t length) {
  if ((encodingType & X509_ASN_ENCODING) == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto certificate = detail::DecodeCertificate(encoded, length);
  if (certificate == nullptr) {
    SetLastError(CRYPT_E_ASN1_BADTAG);
    return nullptr;
  }
  return detail::MakeContext(std::move(certificate), nullptr);
}

PCCERT_CONTEXT CertDuplicateCertificateContext(PCCERT_CONTEXT context) {
  if (context != nullptr) detail::RecordOf(context)->references.fetch_add(1, std::memory_order_relaxed);
  return context;
}

bool CertFreeCertificateContext(PCCERT_CONTEXT context) {
  if (context == nullptr) return true;
  detail::ContextRecord* record = detail::RecordOf(context);
  if (record->references.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    HCERTSTORE store = record->store;
    delete record;
    if (store != nullptr) CertCloseStore(store, 0);
  }
  return true;
}

bool CertGetCertificateContextProperty(PCCERT_CONTEXT context, std::uint32_t propertyId,
                                       void* data, std::uint32_t* size) {
  if (context == nullptr || size == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  detail::StoredCertificate& certificate = *detail::RecordOf(context)->certificate;
  switch (propertyId) {
    case CERT_SHA1_HASH_PROP_ID:
      return CopyOut(certificate.sha1, kSha1HashSize, data, size);
    case CERT_MD5_HASH_PROP_ID: {
      std::uint8_t md5[kMd5HashSize];
      unsigned int length = 0;
      if (EVP_Digest(certificate.bytes.data(), certificate.bytes.size(), md5, &length, EVP_md5(),
                     nullptr) != 1) {
        SetLastError(CRYPT_E_NOT_FOUND);
        return false;
      }
      return CopyOut(md5, length, data, size);
    }
    case CERT_FRIENDLY_NAME_PROP_ID: {
      std::lock_guard guard(certificate.propertyLock);
      if (!certificate.friendlyName) break;
      const std::u16string& name = *certificate.friendlyName;
      // The value is the text with its terminating NUL.
      return CopyOut(name.c_str(), static_cast<std::uint32_t>((name.size() + 1) * sizeof(char16_t)),
                     data, size);
    }
    default:
      break;
  }
  SetLastError(CRYPT_E_NOT_FOUND);
  return false;
}

bool CertSetCertificateContextProperty(PCCERT_CONTEXT context, std::uint32_t propertyId,
                                       const void* data, std::uint32_t size) {
  if (context == nullptr || propertyId != CERT_FRIENDLY_NAME_PROP_ID ||
      (data != nullptr && size % sizeof(char16_t) != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  std::optional<std::u16string> name;
  if (data != nullptr) {
    name.emplace(size / sizeof(char16_t), u'\0');
    std::memcpy(name->data(), data, size);
    while (!name->empty() && name->back() == u'\0') name->pop_back();
  }
  detail::ContextRecord* record = detail::RecordOf(context);
  detail::StoredCertificate& certificate = *record->certificate;
  if (record->store != nullptr && record->store->kind == CertStore::Kind::Directory &&
      !detail::SaveFriendlyName(record->store->directory, certificate.sha1, name)) {
    SetLastError(ERROR_WRITE_FAULT);
    return false;
  }
  std::lock_guard guard(certificate.propertyLock);
  certificate.friendlyName = std::move(name);
  return true;
}

}  // namespace capi
