#pragma once
// The texts the certificate dialogs show of a certificate: names, dates and byte rows, and
// the lookup of a certificate of the personal store by its issuer name and SHA-1 hash.
#include <cstdint>
#include <string>

#include <openssl/asn1.h>

#include "platform/cryptoapi/handles.h"

// "Mar 5, 2007": month abbreviation, day and year of the time in UTC; empty when unreadable.
std::string CertDateText(const ASN1_TIME* time);

// Each byte as "%02X " in the given order.
std::string CertByteText(const uint8_t* bytes, size_t length);

// The issuer's (or subject's) simple display name.
std::string CertIssuerName(capi::PCCERT_CONTEXT context);
std::string CertSubjectName(capi::PCCERT_CONTEXT context);

// The first certificate of the current user's "MY" store with this SHA-1 hash whose issuer
// name is `issuerName`; null when there is none or the store cannot be opened. The caller
// frees it.
capi::PCCERT_CONTEXT FindPersonalCertificate(const std::string& issuerName, const uint8_t (&hash)[20]);
