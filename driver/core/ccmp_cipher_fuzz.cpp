// A received CCMP frame is bytes from the air: the first byte splits the input into MAC
// header and body, and any of them is checked and decrypted within its buffers; a success
// never reports more data than the body carried.
#include <cstdint>
#include <vector>

#include "driver/core/ccmp_cipher.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t headerLength = data[0] % 40 < size - 1 ? data[0] % 40 : size - 1;
  static const std::uint8_t kKey[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  const std::vector<std::uint8_t> header(data + 1, data + 1 + headerLength);  // exact sizes: overreads are caught
  std::vector<std::uint8_t> body(data + 1 + headerLength, data + size);
  std::uint32_t dataLength = 0;
  const auto result =
      zelnic::core::CcmpDecrypt(kKey, header.data(), static_cast<std::uint32_t>(header.size()), 0, (size & 1) != 0,
                                body.data(), static_cast<std::uint32_t>(body.size()), dataLength);
  if (result == zelnic::core::CcmpRefusal::kNone && dataLength + 16 != body.size()) __builtin_trap();
  return 0;
}
