#pragma once
// Inside the certificate-store services: one certificate as a store holds it, the context
// record handed out for it, and the store record. Not for callers of the services.
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/cryptoapi/cert_context.h"
#include "platform/cryptoapi/crl_store.h"

namespace capi::detail {

struct X509Free {
  void operator()(X509* certificate) const { X509_free(certificate); }
};

using PrivateKey = std::shared_ptr<EVP_PKEY>;

// Decodes exactly one PKCS#8 private key of `length` bytes; null when the bytes are not that.
PrivateKey DecodePrivateKey(const std::uint8_t* pkcs8, std::size_t length);
// The key as PKCS#8 DER; empty when it cannot be encoded. The caller wipes it.
std::vector<std::uint8_t> EncodePrivateKey(const EVP_PKEY& key);

// The certificate's bytes, decoded form and hashes, and the properties the store keeps for
// it. Contexts of the same stored certificate share it, so they share its properties.
struct StoredCertificate {
  std::vector<std::uint8_t> bytes;
  std::unique_ptr<X509, X509Free> x509;
  std::uint8_t sha1[kSha1HashSize] = {};

  std::mutex propertyLock;  // guards the properties below
  std::optional<std::u16string> friendlyName;
  PrivateKey privateKey;  // kept here only outside system stores, which keep it in a file
};

// Decodes exactly one DER certificate of `length` bytes; null when the bytes are not that.
std::shared_ptr<StoredCertificate> DecodeCertificate(const std::uint8_t* encoded,
                                                     std::uint32_t length);

// The record behind a PCCERT_CONTEXT.
struct ContextRecord : CertContext {
  std::atomic<std::int32_t> references{1};
  std::shared_ptr<StoredCertificate> certificate;
};

// A new context (one reference) over a stored certificate; it holds a reference on the store
// when one is given.
PCCERT_CONTEXT MakeContext(std::shared_ptr<StoredCertificate> certificate, HCERTSTORE store);

inline ContextRecord* RecordOf(PCCERT_CONTEXT context) {
  return static_cast<ContextRecord*>(const_cast<CertContext*>(context));
}

}  // namespace capi::detail

namespace capi {

// A memory store keeps its certificates in `entries`; a directory store keeps them as files
// in `directory` and reads them afresh on every call, so it always shows what is on disk.
struct CertStore {
  enum class Kind { Memory, Directory };

  std::atomic<std::int32_t> references{1};
  Kind kind = Kind::Memory;
  std::string directory;
  std::mutex lock;  // guards entries and crls
  std::vector<std::shared_ptr<detail::StoredCertificate>> entries;
  std::vector<StoredCrl> crls;  // a memory store's revocation lists
};

}  // namespace capi
