#include "driver/core/wep_cipher.h"

#include <dcf/rc4.h>

#include <array>
#include <cstring>

namespace zelnic::core {
namespace {

// Built at compile time: a table a frame can never corrupt, and no per-byte bit loop.
constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int bit = 0; bit < 8; ++bit) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    table[n] = c;
  }
  return table;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

// RC4 keyed with IV ‖ key over `length` bytes at `data`; the seed is wiped afterwards.
void Rc4WithIv(const std::uint8_t iv[3], const std::uint8_t* key, std::uint32_t keyLength, std::uint8_t* data,
               std::uint32_t length) {
  std::uint8_t seed[3 + kWepMaxKeyBytes];
  std::memcpy(seed, iv, 3);
  std::memcpy(seed + 3, key, keyLength);
  {
    Rc4State rc4;  // wiped by its destructor
    Rc4SetKey(rc4, 3 + keyLength, seed);
    Rc4Crypt(rc4, length, data, data);
  }
  volatile std::uint8_t* wipe = seed;
  for (std::size_t i = 0; i < sizeof seed; ++i) wipe[i] = 0;
}

}  // namespace

std::uint32_t WepCrc32(const std::uint8_t* data, std::uint32_t length) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::uint32_t i = 0; i < length; ++i) crc = (crc >> 8) ^ kCrcTable[(crc ^ data[i]) & 0xFF];
  return ~crc;
}

void WepAppendIcv(std::uint8_t* data, std::uint32_t length) {
  const std::uint32_t icv = WepCrc32(data, length);
  for (std::uint32_t i = 0; i < kWepIcvBytes; ++i) data[length + i] = static_cast<std::uint8_t>(icv >> (8 * i));
}

bool WepIcvMatches(const std::uint8_t* data, std::uint32_t length) {
  std::uint32_t icv = 0;
  for (std::uint32_t i = 0; i < kWepIcvBytes; ++i) icv |= static_cast<std::uint32_t>(data[length + i]) << (8 * i);
  return icv == WepCrc32(data, length);
}

void WepPutHeader(std::uint8_t* body, std::uint32_t iv, std::uint32_t keyIndex) {
  body[0] = static_cast<std::uint8_t>(iv >> 16);
  body[1] = static_cast<std::uint8_t>(iv >> 8);
  body[2] = static_cast<std::uint8_t>(iv);
  body[3] = static_cast<std::uint8_t>((keyIndex & 3) << 6);
}

bool WepEncrypt(std::uint8_t* body, std::uint32_t length, std::uint32_t iv, std::uint32_t keyIndex,
                const std::uint8_t* key, std::uint32_t keyLength) {
  if (key == nullptr || keyLength == 0 || keyLength > kWepMaxKeyBytes) return false;
  WepPutHeader(body, iv, keyIndex);
  std::uint8_t* data = body + kWepHeaderBytes;
  WepAppendIcv(data, length);
  Rc4WithIv(body, key, keyLength, data, length + kWepIcvBytes);
  return true;
}

WepRefusal WepDecrypt(std::uint8_t* body, std::uint32_t bodyLength, const std::uint8_t* key,
                      std::uint32_t keyLength, std::uint32_t& dataLength) {
  dataLength = 0;
  if (bodyLength < kWepHeaderBytes + kWepIcvBytes) return WepRefusal::kTooShort;
  if (key == nullptr || keyLength == 0 || keyLength > kWepMaxKeyBytes) return WepRefusal::kBadKeyLength;
  const std::uint32_t length = bodyLength - kWepHeaderBytes - kWepIcvBytes;
  std::uint8_t* data = body + kWepHeaderBytes;
  Rc4WithIv(body, key, keyLength, data, length + kWepIcvBytes);
  if (!WepIcvMatches(data, length)) return WepRefusal::kIcvMismatch;
  dataLength = length;
  return WepRefusal::kNone;
}

}  // namespace zelnic::core
