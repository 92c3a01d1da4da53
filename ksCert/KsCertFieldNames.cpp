#include "ksCert/KsCertFieldNames.h"

#include <string_view>

namespace {

struct FieldName {
  std::string_view name;
  CertField code;
};

// In the order the lookup tries them.
constexpr FieldName kFieldNames[] = {
    {"Version", kCertFieldVersion},
    {"Serial Number", kCertFieldSerialNumber},
    {"Signature Algorithm", kCertFieldSignatureAlgorithm},
    {"Issuer", kCertFieldIssuer},
    {"Not Before", kCertFieldNotBefore},
    {"Not After", kCertFieldNotAfter},
    {"Subject Name", kCertFieldSubjectName},
    {"Subject Public Key Info", kCertFieldSubjectPublicKeyInfo},
    {"Issuer Unique Id", kCertFieldIssuerUniqueId},
    {"Subject Unique Id", kCertFieldSubjectUniqueId},
    {"Subject Alternate Name", kCertFieldSubjectAlternateName},
    {"2.5.29.17", kCertFieldSubjectAlternateName},
    {"Issuer Alternate Name", kCertFieldIssuerAlternateName},
    {"2.5.29.18", kCertFieldIssuerAlternateName},
    {"Basic Constraints", kCertFieldBasicConstraints},
    {"2.5.29.19", kCertFieldBasicConstraints},
    {"Extended Key Usage", kCertFieldExtendedKeyUsage},
    {"2.5.29.37", kCertFieldExtendedKeyUsage},
    {"Subject Name Simple Display", kCertFieldSubjectSimpleDisplay},
    {"Common Name", kCertFieldCommonName},
    {"Subject Alt Name DNS Name", kCertFieldSubjectAltDnsName},
};

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool NameEquals(std::u16string_view given, std::string_view name) {
  if (given.size() != name.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (Lower(given[i]) != Lower(static_cast<char16_t>(name[i]))) return false;
  }
  return true;
}

}  // namespace

CertField LookupCertFieldCode(const char16_t* name) {
  if (name == nullptr) return kCertFieldUnknown;
  const std::u16string_view given(name);
  for (const FieldName& entry : kFieldNames) {
    if (NameEquals(given, entry.name)) return entry.code;
  }
  return kCertFieldUnknown;
}
