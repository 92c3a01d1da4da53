#pragma once
// Certificate revocation lists kept in stores beside the certificates. A system store files a
// list as <SHA-1 of its DER>.crl (DER; a file holding PEM is read as well); a memory store
// keeps it in memory. The chain builder reads the lists of every store it searches.
#include <openssl/x509.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/cryptoapi/handles.h"

namespace capi {

// Largest revocation list accepted.
constexpr std::uint32_t kMaxCrlBytes = 16u << 20;

struct StoredCrl {
  std::string hash;  // SHA-1 of the DER, upper-case hex
  std::shared_ptr<X509_CRL> crl;
};

// Adds a revocation list given as DER or PEM. False (CRYPT_E_ASN1_BADTAG) for bytes that are
// not one list, (ERROR_WRITE_FAULT) when a system store cannot file it.
bool CertAddEncodedCrlToStore(HCERTSTORE store, const std::uint8_t* bytes, std::uint32_t length);

// The store's lists (a system store's in hash order; unreadable files are left out).
std::vector<StoredCrl> CertEnumCrlsInStore(HCERTSTORE store);

// Removes the list with this hash (upper- or lower-case hex); false when there is none.
bool CertDeleteCrlFromStore(HCERTSTORE store, const std::string& hexHash);

namespace detail {

// Decodes exactly one revocation list, DER or PEM, with its hash; null crl when the bytes are
// not that.
StoredCrl DecodeCrl(const std::uint8_t* bytes, std::size_t length);

// The DER of a list; empty when it cannot be encoded.
std::vector<std::uint8_t> EncodeCrl(X509_CRL* crl);

}  // namespace detail

}  // namespace capi
