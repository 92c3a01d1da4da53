// Certificate bytes from files and peers: anything that decodes is exactly one certificate,
// its context gives back those bytes and their hash, and a store finds it by that hash.
#include <openssl/evp.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/cryptoapi/cert_context.h"
#include "platform/cryptoapi/cert_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace capi;
  const auto length = static_cast<std::uint32_t>(size);
  PCCERT_CONTEXT context = CertCreateCertificateContext(X509_ASN_ENCODING, data, length);
  if (context == nullptr) return 0;
  if (context->encodedLength != length || std::memcmp(context->encoded, data, size) != 0) std::abort();

  std::uint8_t hash[kSha1HashSize];
  std::uint32_t hashSize = sizeof hash;
  unsigned int expectedSize = 0;
  std::uint8_t expected[EVP_MAX_MD_SIZE];
  if (!CertGetCertificateContextProperty(context, CERT_SHA1_HASH_PROP_ID, hash, &hashSize) ||
      EVP_Digest(data, size, expected, &expectedSize, EVP_sha1(), nullptr) != 1 ||
      hashSize != expectedSize || std::memcmp(hash, expected, hashSize) != 0) {
    std::abort();
  }

  HCERTSTORE store = CertOpenMemoryStore();
  if (!CertAddCertificateContextToStore(store, context, CERT_STORE_ADD_ALWAYS, nullptr)) std::abort();
  const CryptHashBlob blob{hashSize, hash};
  PCCERT_CONTEXT found = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &blob, nullptr);
  if (found == nullptr || found->encodedLength != length) std::abort();
  CertFreeCertificateContext(found);
  CertCloseStore(store, 0);
  CertFreeCertificateContext(context);
  return 0;
}
