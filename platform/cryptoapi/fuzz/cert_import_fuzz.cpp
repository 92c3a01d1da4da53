// Files handed to zelcert (PEM bundles, DER, PKCS#12, keys): read without harm. The store
// name cannot be a store, so whatever the file holds, nothing is written and the import fails.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/cryptoapi/cert_import.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const capi::ImportReport report = capi::ImportIntoStore(capi::StoreLocation::CurrentUser, "..", bytes, "pw");
  if (report.ok || report.error.empty() || report.certificates != 0) std::abort();
  return 0;
}
