#include "sim/air/michael_mic.h"

#include <bit>
#include <vector>

namespace simair {
namespace {

std::uint32_t LittleEndian32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

struct MichaelState {
  std::uint32_t l, r;
  void block(std::uint32_t word) {
    l ^= word;
    r ^= std::rotl(l, 17);
    l += r;
    r ^= ((l & 0xFF00FF00u) >> 8) | ((l & 0x00FF00FFu) << 8);
    l += r;
    r ^= std::rotl(l, 3);
    l += r;
    r ^= std::rotr(l, 2);
    l += r;
  }
};

}  // namespace

std::array<std::uint8_t, 8> MichaelOf(MichaelKey key, std::span<const std::uint8_t> message) {
  // The message, 0x5A, then 4 to 7 zero bytes up to a multiple of 4.
  std::vector<std::uint8_t> padded(message.begin(), message.end());
  padded.push_back(0x5A);
  padded.insert(padded.end(), 4, 0);
  padded.resize((padded.size() + 3) / 4 * 4);
  MichaelState state{LittleEndian32(key.data()), LittleEndian32(key.data() + 4)};
  for (std::size_t at = 0; at < padded.size(); at += 4) state.block(LittleEndian32(padded.data() + at));
  std::array<std::uint8_t, 8> mic{};
  for (int i = 0; i < 4; ++i) {
    mic[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(state.l >> (8 * i));
    mic[static_cast<std::size_t>(4 + i)] = static_cast<std::uint8_t>(state.r >> (8 * i));
  }
  return mic;
}

std::array<std::uint8_t, 8> MsduMichael(MichaelKey key, const MacAddress& destination, const MacAddress& source,
                                        std::uint8_t priority, std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> message(destination.begin(), destination.end());
  message.insert(message.end(), source.begin(), source.end());
  message.push_back(priority);
  message.insert(message.end(), 3, 0);
  message.insert(message.end(), data.begin(), data.end());
  return MichaelOf(key, message);
}

}  // namespace simair
