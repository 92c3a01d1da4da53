// A received WEP body is bytes from the air: any length and content decrypts in place
// within its buffer, and a success never reports more data than the body carried.
#include <cstdint>
#include <vector>

#include "driver/core/wep_cipher.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // The first byte picks the receive key length (0..15, so refused lengths are reached too).
  const std::uint32_t keyLength = data[0] & 0x0F;
  static const std::uint8_t kKey[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  std::vector<std::uint8_t> body(data + 1, data + size);  // exact size: overreads are caught
  std::uint32_t dataLength = 0;
  const zelnic::core::WepRefusal result = zelnic::core::WepDecrypt(
      body.data(), static_cast<std::uint32_t>(body.size()), kKey, keyLength, dataLength);
  if (result == zelnic::core::WepRefusal::kNone && dataLength + 8 != body.size()) __builtin_trap();
  if (result != zelnic::core::WepRefusal::kNone && dataLength != 0) __builtin_trap();
  return 0;
}
