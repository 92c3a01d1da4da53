// A private-key file's bytes (PKCS#8 DER, written by us or by anyone who can write the store):
// whatever they are, decoding stays in bounds, and a key that decodes encodes and decodes again.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/cryptoapi/stored_certificate.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  capi::detail::PrivateKey key = capi::detail::DecodePrivateKey(data, size);
  if (key == nullptr) return 0;
  const std::vector<std::uint8_t> again = capi::detail::EncodePrivateKey(*key);
  if (again.empty() || capi::detail::DecodePrivateKey(again.data(), again.size()) == nullptr)
    __builtin_trap();
  return 0;
}
