// A received CKIP body is bytes from the air: any length and content decrypts in place
// within its buffer, a success never reports more data than the body carried, and the CMIC
// check of the plaintext reads only within it.
#include <cstdint>
#include <vector>

#include "driver/core/ckip_cipher.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zelnic::core;
  if (size < 1) return 0;
  // The first byte: bit 0 key permutation, bits 1..2 the direction, bit 3 no key installed.
  const std::uint8_t mode = data[0];
  static const std::uint8_t kKey[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  CkipKeyRecord key;
  if ((mode & 0x08) == 0) InstallCkipKey(key, kKey, 16);
  std::vector<std::uint8_t> body(data + 1, data + size);  // exact size: overreads are caught
  const auto length = static_cast<std::uint32_t>(body.size());
  std::uint32_t dataLength = 0;
  const CkipRefusal result = CkipDecrypt(body.data(), length, key, (mode & 1) != 0, (mode >> 1) & 3, dataLength);
  if (result != CkipRefusal::kNone) {
    if (dataLength != 0) __builtin_trap();
    // Also check the bytes as if they were plaintext: the CMIC check takes any body.
    static const std::uint8_t kAddress[6] = {2, 0, 0, 0, 0, 1};
    (void)CkipCmicMatches(kKey, kAddress, kAddress, body.data(), length);
    return 0;
  }
  if (dataLength + 8 != length) __builtin_trap();
  std::vector<std::uint8_t> plain(body.begin() + 4, body.begin() + 4 + dataLength);
  static const std::uint8_t kDestination[6] = {2, 0, 0, 0, 0, 2};
  static const std::uint8_t kSource[6] = {2, 0, 0, 0, 0, 1};
  (void)CkipCmicMatches(kKey, kDestination, kSource, plain.data(), dataLength);
  return 0;
}
