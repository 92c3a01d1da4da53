#pragma once
// What a certificate says it may be used for: its key-usage bits and its extended key
// usages (certificate extensions only; no usage property is kept here).
#include <openssl/x509.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/cryptoapi/handles.h"

namespace capi {

// Key-usage bits of the first byte.
constexpr std::uint8_t CERT_DIGITAL_SIGNATURE_KEY_USAGE = 0x80;
constexpr std::uint8_t CERT_KEY_ENCIPHERMENT_KEY_USAGE = 0x20;

// The first `bytes` bytes of the key-usage bits (only the first byte is kept; more bytes
// come out 0). False with last error 0 when the certificate has no key-usage extension;
// false with CRYPT_E_ASN1_BADTAG when its extensions cannot be read.
bool CertGetIntendedKeyUsage(std::uint32_t encodingType, const X509* info, std::uint8_t* usage,
                             std::uint32_t bytes);

// The extended key usages in the certificate's order, as dotted identifiers. True with none
// and last error CRYPT_E_NOT_FOUND when the certificate has no such extension (it limits no
// usage), or last error 0 when the extension lists none (no usage is valid); false
// (CRYPT_E_ASN1_BADTAG) when the extension cannot be read.
bool CertGetEnhancedKeyUsage(PCCERT_CONTEXT context, std::uint32_t flags, std::vector<std::string>& identifiers);

}  // namespace capi
