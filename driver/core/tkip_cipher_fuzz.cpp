// A received TKIP body is bytes from the air: any length and content is checked and
// decrypted within its buffer; a success never reports more data than the body carried.
#include <cstdint>
#include <vector>

#include "driver/core/tkip_cipher.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::uint8_t kKey[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  static const std::uint8_t kTransmitter[6] = {2, 0, 0, 0, 0, 1};
  zelnic::core::TkipKeyMixer mixer(kKey, kTransmitter);
  std::vector<std::uint8_t> body(data, data + size);  // exact size: overreads are caught
  std::uint32_t dataLength = 0;
  const auto result = zelnic::core::TkipDecrypt(mixer, 0, body.data(), static_cast<std::uint32_t>(body.size()), dataLength);
  if (result == zelnic::core::TkipRefusal::kNone && dataLength + 12 != body.size()) __builtin_trap();
  return 0;
}
