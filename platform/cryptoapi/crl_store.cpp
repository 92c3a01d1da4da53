#include "platform/cryptoapi/crl_store.h"

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <algorithm>
#include <cctype>
#include <mutex>
#include <string_view>

#include "platform/cryptoapi/directory_store.h"
#include "platform/cryptoapi/last_error.h"
#include "platform/cryptoapi/openssl_error_scope.h"
#include "platform/cryptoapi/stored_certificate.h"

namespace capi {
namespace detail {
namespace {

struct CrlFree {
  void operator()(X509_CRL* crl) const { X509_CRL_free(crl); }
};
struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};

constexpr std::string_view kPemMarker = "-----BEGIN X509 CRL-----";

}  // namespace

std::vector<std::uint8_t> EncodeCrl(X509_CRL* crl) {
  unsigned char* der = nullptr;
  const int length = i2d_X509_CRL(crl, &der);
  std::vector<std::uint8_t> bytes;
  if (length > 0) bytes.assign(der, der + length);
  OPENSSL_free(der);
  return bytes;
}

StoredCrl DecodeCrl(const std::uint8_t* bytes, std::size_t length) {
  StoredCrl decoded;
  if (bytes == nullptr || length == 0 || length > kMaxCrlBytes) return decoded;
  OpenSslErrorScope errors;
  const std::string_view text(reinterpret_cast<const char*>(bytes), length);
  std::unique_ptr<X509_CRL, CrlFree> crl;
  if (text.find(kPemMarker) != std::string_view::npos) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(bytes, static_cast<int>(length)));
    if (bio) crl.reset(PEM_read_bio_X509_CRL(bio.get(), nullptr, nullptr, nullptr));
  } else {
    const unsigned char* cursor = bytes;
    crl.reset(d2i_X509_CRL(nullptr, &cursor, static_cast<long>(length)));
    // One list and nothing after it.
    if (cursor != bytes + length) crl.reset();
  }
  if (!crl) return decoded;
  const std::vector<std::uint8_t> der = EncodeCrl(crl.get());
  std::uint8_t sha1[kSha1HashSize];
  unsigned int hashLength = 0;
  if (der.empty() || EVP_Digest(der.data(), der.size(), sha1, &hashLength, EVP_sha1(), nullptr) != 1) return decoded;
  decoded.hash = HashToHex(sha1);
  decoded.crl.reset(crl.release(), X509_CRL_free);
  return decoded;
}

}  // namespace detail

bool CertAddEncodedCrlToStore(HCERTSTORE store, const std::uint8_t* bytes, std::uint32_t length) {
  if (store == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  StoredCrl decoded = detail::DecodeCrl(bytes, length);
  if (!decoded.crl) {
    SetLastError(CRYPT_E_ASN1_BADTAG);
    return false;
  }
  if (store->kind == CertStore::Kind::Memory) {
    std::lock_guard guard(store->lock);
    store->crls.push_back(std::move(decoded));
    return true;
  }
  if (!detail::SaveCrlFile(store->directory, decoded.hash, detail::EncodeCrl(decoded.crl.get()))) {
    SetLastError(ERROR_WRITE_FAULT);
    return false;
  }
  return true;
}

std::vector<StoredCrl> CertEnumCrlsInStore(HCERTSTORE store) {
  std::vector<StoredCrl> lists;
  if (store == nullptr) return lists;
  if (store->kind == CertStore::Kind::Memory) {
    std::lock_guard guard(store->lock);
    return store->crls;
  }
  for (const std::string& hash : detail::ListCrlHashes(store->directory)) {
    std::optional<std::string> bytes = detail::ReadCrlFile(store->directory, hash, kMaxCrlBytes);
    if (!bytes) continue;
    StoredCrl decoded =
        detail::DecodeCrl(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size());
    if (decoded.crl) lists.push_back({hash, decoded.crl});  // filed under its name, PEM files too
  }
  return lists;
}

bool CertDeleteCrlFromStore(HCERTSTORE store, const std::string& hexHash) {
  if (store == nullptr) return false;
  if (store->kind == CertStore::Kind::Directory) return detail::RemoveCrlFile(store->directory, hexHash);
  std::string upper = hexHash;
  std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return static_cast<char>(std::toupper(c)); });
  std::lock_guard guard(store->lock);
  const auto found = std::find_if(store->crls.begin(), store->crls.end(),
                                  [&](const StoredCrl& stored) { return stored.hash == upper; });
  if (found == store->crls.end()) return false;
  store->crls.erase(found);
  return true;
}

}  // namespace capi
