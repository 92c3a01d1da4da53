// Certificates handed to the library as DER (a peer's chain, a caller's list): the array
// either refuses the bytes or answers every operation within its buffers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "inc/ksCertUtility.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static ksCertUtility* root = [] {
    ksCertUtility* made = nullptr;
    dcfCreateInstance<KsCertLib>(&made);
    return made;
  }();
  const ksCertBlob blob{data, static_cast<std::uint32_t>(size)};
  ksCertArray* array = nullptr;
  if (root->CreateCertArray(&blob, 1, &array) != S_OK) {
    if (array != nullptr) std::abort();
    return 0;
  }
  ksCert* cert = nullptr;
  if (array->get_Cert(0, &cert) != S_OK || cert == nullptr) std::abort();
  std::vector<std::uint8_t> buffer(size + 64);
  std::uint32_t length = 0;
  if (cert->get_Hash(buffer.data(), 20, &length) != S_OK || length != 20) std::abort();
  if (cert->ExportCert(kCertExportDer, nullptr, 0, buffer.data(), static_cast<std::uint32_t>(buffer.size()), &length) != S_OK ||
      length != size) {
    std::abort();
  }
  if (cert->GetEncodedSubject(kCertEncodingX509Name, buffer.data(), static_cast<std::uint32_t>(buffer.size()), &length) !=
          S_OK ||
      length > size) {
    std::abort();
  }
  cert->Release();
  array->Release();
  return 0;
}
