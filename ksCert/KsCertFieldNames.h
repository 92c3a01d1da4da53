#pragma once
// Certificate field codes and the lookup of a field's name (as GetCertFieldCode offers it).
#include <cstdint>

enum CertField : std::int32_t {
  kCertFieldUnknown = 0,
  kCertFieldVersion = 1,
  kCertFieldSerialNumber = 2,
  kCertFieldSignatureAlgorithm = 3,
  kCertFieldIssuer = 4,
  kCertFieldNotBefore = 5,
  kCertFieldNotAfter = 6,
  kCertFieldSubjectName = 7,
  kCertFieldSubjectPublicKeyInfo = 8,
  kCertFieldIssuerUniqueId = 9,
  kCertFieldSubjectUniqueId = 10,
  kCertFieldIssuerAlternateName = 11,
  kCertFieldSubjectAlternateName = 12,
  kCertFieldBasicConstraints = 13,
  kCertFieldCommonName = 14,
  kCertFieldSubjectAltDnsName = 15,
  kCertFieldExtendedKeyUsage = 16,
  kCertFieldFriendlyName = 17,  // no name leads to it
  kCertFieldSubjectSimpleDisplay = 18,
};

// The code of a field name, ASCII case ignored and the whole name compared; 0 for a null,
// empty or unknown name.
CertField LookupCertFieldCode(const char16_t* name);
