#include <dcf/rc4.h>

#include <dcf/dcfException.h>

#include <bit>
#include <cstring>

#include "dcf1/src/crypto/wipe.h"

using crypto_detail::Wipe;

Rc4State::~Rc4State() { Wipe(*this); }

void Rc4SetKey(Rc4State& state, std::size_t keyLength, const std::uint8_t* key) {
  // The schedule repeats the key over 256 positions: an empty key has nothing to repeat.
  if (keyLength == 0 || key == nullptr) {
    dcfThrowRangeException(dcfRangeException("RC4 key must not be empty"), __LINE__, "crypto/rc4");
  }
  for (int i = 0; i < 256; ++i) state.S[i] = i;
  state.x = state.y = 0;
  std::uint32_t j = 0;
  std::size_t k = 0;
  for (int i = 0; i < 256; ++i) {
    const std::int32_t t = state.S[i];
    j = (j + static_cast<std::uint32_t>(t) + key[k]) & 0xff;
    state.S[i] = state.S[j];
    state.S[j] = t;
    if (++k == keyLength) k = 0;
  }
}

namespace {

// One keystream byte: advance x and y, swap S[x] and S[y], read S[S[x] + S[y]].
inline std::uint32_t NextByte(std::int32_t* s, std::uint32_t& x, std::uint32_t& y) {
  x = (x + 1) & 0xff;
  const std::int32_t tx = s[x];
  y = (y + static_cast<std::uint32_t>(tx)) & 0xff;
  const std::int32_t ty = s[y];
  s[x] = ty;
  s[y] = tx;
  return static_cast<std::uint32_t>(s[(tx + ty) & 0xff]);
}

}  // namespace

void Rc4Crypt(Rc4State& state, std::size_t length, const std::uint8_t* input, std::uint8_t* output) {
  std::uint32_t x = static_cast<std::uint32_t>(state.x);
  std::uint32_t y = static_cast<std::uint32_t>(state.y);
  std::int32_t* s = state.S;
  // Eight bytes per pass, gathered into one 64-bit word in memory order and XORed at once;
  // the keystream is the same as byte by byte.
  for (; length >= 8; length -= 8, input += 8, output += 8) {
    std::uint64_t keystream = 0;
    for (int i = 0; i < 8; ++i) {
      const int shift = std::endian::native == std::endian::little ? 8 * i : 56 - 8 * i;
      keystream |= std::uint64_t{NextByte(s, x, y)} << shift;
    }
    std::uint64_t data;
    std::memcpy(&data, input, 8);
    data ^= keystream;
    std::memcpy(output, &data, 8);
  }
  for (; length > 0; --length) *output++ = static_cast<std::uint8_t>(*input++ ^ NextByte(s, x, y));
  state.x = static_cast<std::int32_t>(x);
  state.y = static_cast<std::int32_t>(y);
}
