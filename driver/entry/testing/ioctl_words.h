#pragma once
// I/O control buffers for tests: words in, words out (little-endian, as the driver lays them).
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace zelnic::testing {

inline std::vector<std::uint8_t> Words(std::initializer_list<std::uint32_t> words) {
  std::vector<std::uint8_t> bytes(words.size() * 4);
  std::size_t at = 0;
  for (std::uint32_t w : words) std::memcpy(bytes.data() + 4 * at++, &w, 4);
  return bytes;
}

// The word at `offset`, 0 when the buffer ends before it.
inline std::uint32_t WordAt(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  std::uint32_t value = 0;
  if (offset + 4 <= bytes.size()) std::memcpy(&value, bytes.data() + offset, 4);
  return value;
}

}  // namespace zelnic::testing
