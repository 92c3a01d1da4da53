#pragma once
// Certificate contexts: one decoded X.509 certificate with its DER bytes and its properties.
// A context is reference counted: every call that returns one hands the caller a reference,
// which CertFreeCertificateContext gives back. A context found in a store keeps that store
// alive and reads and writes its properties there.
#include <openssl/x509.h>

#include <cstdint>

#include "platform/cryptoapi/handles.h"

namespace capi {

// Certificate encodings; X.509 DER is the only one there is here.
constexpr std::uint32_t X509_ASN_ENCODING = 0x1;
constexpr std::uint32_t PKCS_7_ASN_ENCODING = 0x10000;

// Properties of a context.
constexpr std::uint32_t CERT_SHA1_HASH_PROP_ID = 3;       // 20 bytes, of the DER bytes
constexpr std::uint32_t CERT_MD5_HASH_PROP_ID = 4;        // 16 bytes, of the DER bytes
constexpr std::uint32_t CERT_FRIENDLY_NAME_PROP_ID = 11;  // UTF-16 text with its NUL

constexpr std::uint32_t kSha1HashSize = 20;
constexpr std::uint32_t kMd5HashSize = 16;

// Largest certificate accepted; anything bigger is not a certificate we should parse.
constexpr std::uint32_t kMaxCertificateBytes = 1u << 20;

struct CertContext {
  std::uint32_t encodingType;   // X509_ASN_ENCODING
  const std::uint8_t* encoded;  // the DER bytes, encodedLength of them
  std::uint32_t encodedLength;
  const X509* info;  // the decoded certificate; read it, never change or free it
  HCERTSTORE store;  // the store the context was found in or added to; null for none
};

// A new context over a copy of exactly one DER certificate of `length` bytes. Null (last
// error CRYPT_E_ASN1_BADTAG) when the bytes are null, empty, too long, not one certificate,
// or followed by further bytes; ERROR_INVALID_PARAMETER for another encoding type.
PCCERT_CONTEXT CertCreateCertificateContext(std::uint32_t encodingType,
                                            const std::uint8_t* encoded, std::uint32_t length);

// Adds a reference and returns the same context; null stays null.
PCCERT_CONTEXT CertDuplicateCertificateContext(PCCERT_CONTEXT context);

// Gives back one reference; the last one frees the context. Null is accepted. Always true.
bool CertFreeCertificateContext(PCCERT_CONTEXT context);

// Reads a property. With data null, *size receives the needed size and the call succeeds.
// Otherwise a *size below the needed size fails with ERROR_MORE_DATA and *size = the needed
// size; else the value is copied and *size set to its size. A property that the context does
// not have fails with CRYPT_E_NOT_FOUND.
bool CertGetCertificateContextProperty(PCCERT_CONTEXT context, std::uint32_t propertyId,
                                       void* data, std::uint32_t* size);

// Sets (data non-null) or removes (data null) the friendly name, given as UTF-16 text of
// size bytes (a terminating NUL is optional). A context of a directory store keeps it in the
// store. Other properties cannot be set (ERROR_INVALID_PARAMETER).
bool CertSetCertificateContextProperty(PCCERT_CONTEXT context, std::uint32_t propertyId,
                                       const void* data, std::uint32_t size);

}  // namespace capi
