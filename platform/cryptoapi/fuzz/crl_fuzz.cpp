// Revocation-list files from a store folder or an import: DER or PEM, refused or decoded to
// one list whose DER decodes again to the same hash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <openssl/x509.h>

#include "platform/cryptoapi/crl_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  capi::StoredCrl decoded = capi::detail::DecodeCrl(data, size);
  if (!decoded.crl) return 0;
  unsigned char* der = nullptr;
  const int length = i2d_X509_CRL(decoded.crl.get(), &der);
  if (length <= 0) std::abort();
  capi::StoredCrl again = capi::detail::DecodeCrl(der, static_cast<std::size_t>(length));
  OPENSSL_free(der);
  if (!again.crl || again.hash != decoded.hash) std::abort();
  return 0;
}
