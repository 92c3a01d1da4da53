#include "utility/ui/cert_fields.h"

#include <cstdio>
#include <ctime>

#include "platform/cryptoapi/cert_context.h"
#include "platform/cryptoapi/cert_store.h"
#include "platform/cryptoapi/name_string.h"

namespace {
constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
}  // namespace

std::string CertDateText(const ASN1_TIME* time) {
  std::tm at{};
  if (time == nullptr || ASN1_TIME_to_tm(time, &at) != 1 || at.tm_mon < 0 || at.tm_mon > 11) return {};
  char text[32];
  std::snprintf(text, sizeof text, "%s %d, %d", kMonths[at.tm_mon], at.tm_mday, at.tm_year + 1900);
  return text;
}

std::string CertByteText(const uint8_t* bytes, size_t length) {
  std::string text;
  char one[4];
  for (size_t i = 0; i < length; ++i) {
    std::snprintf(one, sizeof one, "%02X ", bytes[i]);
    text += one;
  }
  return text;
}

std::string CertIssuerName(capi::PCCERT_CONTEXT context) {
  return context != nullptr ? capi::CertGetSimpleDisplayName(context->info, capi::CERT_NAME_ISSUER_FLAG) : std::string();
}

std::string CertSubjectName(capi::PCCERT_CONTEXT context) {
  return context != nullptr ? capi::CertGetSimpleDisplayName(context->info) : std::string();
}

capi::PCCERT_CONTEXT FindPersonalCertificate(const std::string& issuerName, const uint8_t (&hash)[20]) {
  capi::HCERTSTORE store = capi::CertOpenSystemStore(capi::StoreLocation::CurrentUser, "MY");
  if (store == nullptr) return nullptr;
  const capi::CryptHashBlob blob{sizeof hash, hash};
  capi::PCCERT_CONTEXT found = nullptr;
  // Two certificates of one issuer name are told apart by the hash, and the name guards
  // against a hash that is not the row's certificate.
  while ((found = capi::CertFindCertificateInStore(store, capi::X509_ASN_ENCODING | capi::PKCS_7_ASN_ENCODING, 0,
                                                   capi::CERT_FIND_SHA1_HASH, &blob, found)) != nullptr) {
    if (CertIssuerName(found) == issuerName) break;
  }
  capi::CertCloseStore(store, 0);
  return found;
}
