#include "driver/core/swiftbond_keys.h"

#include <openssl/crypto.h>

#include <cstring>
#include <utility>

#include "driver/core/swiftbond_md5.h"

namespace zelnic::core {
namespace {

constexpr std::size_t kRepeatBytes = 64;

// MD5 of `bytes` (at least one) repeated to fill 64 bytes.
void Md5OfRepeated(const std::uint8_t* bytes, std::size_t length, std::uint8_t (&out)[16]) {
  std::uint8_t block[kRepeatBytes];
  for (std::size_t k = 0; k < kRepeatBytes; ++k) block[k] = bytes[k % length];
  SbMd5Context context;
  SbMd5Init(context);
  SbMd5Update(context, block, sizeof block);
  SbMd5Final(out, context);
  OPENSSL_cleanse(block, sizeof block);
}

}  // namespace

std::size_t PassphraseLength(const std::uint8_t* field, std::size_t fieldLength) {
  const void* zero = std::memchr(field, 0, fieldLength);
  return zero == nullptr ? fieldLength : static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - field);
}

void SwiftBondDeriveRc4Key(std::uint8_t (&out)[16], const std::uint8_t* bssid, const std::uint8_t* station) {
  std::uint8_t a[16];
  std::uint8_t b[16];
  Md5OfRepeated(bssid, 6, a);
  Md5OfRepeated(station, 6, b);
  for (int i = 0; i < 16; ++i) out[i] = static_cast<std::uint8_t>(a[i] ^ b[i] ^ kSwiftBondMask[i]);
  OPENSSL_cleanse(a, sizeof a);
  OPENSSL_cleanse(b, sizeof b);
}

void PassphraseToWep40Keys(const std::uint8_t* field, std::size_t fieldLength, std::uint8_t (&out)[20]) {
  const std::size_t length = PassphraseLength(field, fieldLength);
  std::uint8_t folded[4] = {};
  for (std::size_t k = 0; k < length; ++k) folded[k % 4] ^= field[k];
  std::uint32_t x = static_cast<std::uint32_t>(folded[0]) | static_cast<std::uint32_t>(folded[1]) << 8 |
                    static_cast<std::uint32_t>(folded[2]) << 16 | static_cast<std::uint32_t>(folded[3]) << 24;
  for (std::uint8_t& byte : out) {
    x = x * 214013u + 2531011u;
    byte = static_cast<std::uint8_t>(x >> 16);
  }
  OPENSSL_cleanse(folded, sizeof folded);
}

bool PassphraseToWep104Key(const std::uint8_t* field, std::size_t fieldLength, std::uint8_t (&out)[16]) {
  const std::size_t length = PassphraseLength(field, fieldLength);
  if (length == 0) return false;
  Md5OfRepeated(field, length, out);
  return true;
}

void SbRc4SetKey(const std::uint8_t* key, std::size_t keyLength, SbRc4State& state) {
  for (int k = 0; k < 256; ++k) state.s[k] = static_cast<std::uint8_t>(k);
  std::uint8_t j = 0;
  for (int k = 0; k < 256; ++k) {
    j = static_cast<std::uint8_t>(j + state.s[k] + key[k % keyLength]);
    std::swap(state.s[k], state.s[j]);
  }
  state.i = state.j = 0;
}

void SbRc4Crypt(std::uint8_t* buffer, std::size_t length, SbRc4State& state) {
  for (std::size_t k = 0; k < length; ++k) {
    state.i = static_cast<std::uint8_t>(state.i + 1);
    state.j = static_cast<std::uint8_t>(state.j + state.s[state.i]);
    std::swap(state.s[state.i], state.s[state.j]);
    buffer[k] ^= state.s[static_cast<std::uint8_t>(state.s[state.i] + state.s[state.j])];
  }
}

void SbRc4(const std::uint8_t* key, std::size_t keyLength, std::uint8_t* buffer, std::size_t length) {
  SbRc4State state;
  SbRc4SetKey(key, keyLength, state);
  SbRc4Crypt(buffer, length, state);
  OPENSSL_cleanse(&state, sizeof state);
}

}  // namespace zelnic::core
