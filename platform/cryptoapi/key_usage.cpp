#include "platform/cryptoapi/key_usage.h"

#include <openssl/objects.h>
#include <openssl/x509v3.h>

#include <cstring>

#include "platform/cryptoapi/cert_context.h"
#include "platform/cryptoapi/last_error.h"
#include "platform/cryptoapi/openssl_error_scope.h"

namespace capi {

bool CertGetIntendedKeyUsage(std::uint32_t, const X509* info, std::uint8_t* usage, std::uint32_t bytes) {
  if (info == nullptr || usage == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  detail::OpenSslErrorScope errors;
  const std::uint32_t flags = X509_get_extension_flags(const_cast<X509*>(info));
  if ((flags & EXFLAG_INVALID) != 0) {
    SetLastError(CRYPT_E_ASN1_BADTAG);
    return false;
  }
  if ((flags & EXFLAG_KUSAGE) == 0) {
    SetLastError(ERROR_SUCCESS);
    return false;
  }
  std::memset(usage, 0, bytes);
  if (bytes > 0) usage[0] = static_cast<std::uint8_t>(X509_get_key_usage(const_cast<X509*>(info)) & 0xFF);
  return true;
}

bool CertGetEnhancedKeyUsage(PCCERT_CONTEXT context, std::uint32_t, std::vector<std::string>& identifiers) {
  identifiers.clear();
  if (context == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  detail::OpenSslErrorScope errors;
  int critical = -1;
  auto* extension =
      static_cast<EXTENDED_KEY_USAGE*>(X509_get_ext_d2i(context->info, NID_ext_key_usage, &critical, nullptr));
  if (extension == nullptr) {
    if (critical != -1) {  // present but unreadable, or present twice
      SetLastError(CRYPT_E_ASN1_BADTAG);
      return false;
    }
    SetLastError(CRYPT_E_NOT_FOUND);
    return true;
  }
  for (int i = 0; i < sk_ASN1_OBJECT_num(extension); ++i) {
    const ASN1_OBJECT* object = sk_ASN1_OBJECT_value(extension, i);
    const int length = OBJ_obj2txt(nullptr, 0, object, 1);
    if (length <= 0) continue;
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    OBJ_obj2txt(text.data(), length + 1, object, 1);
    text.resize(static_cast<std::size_t>(length));
    identifiers.push_back(std::move(text));
  }
  EXTENDED_KEY_USAGE_free(extension);
  SetLastError(ERROR_SUCCESS);
  return true;
}

}  // namespace capi
