#include "driver/core/wep_cipher.h"

#include <dcf/rc4.h>

#include <array>
#include <cstring>

#include "driver/core/key_table.h"

namespace zelnic::core {
namespace {

// Built at compile time: tables a frame can never corrupt, and no per-byte bit loop. Table 0
// is the CRC of one byte; table k carries a byte k more positions through the register,
// so eight bytes take one step (slicing by eight).
constexpr std::array<std::array<std::uint32_t, 256>, 8> MakeCrcTables() {
  std::array<std::array<std::uint32_t, 256>, 8> t{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int bit = 0; bit < 8; ++bit) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    t[0][n] = c;
  }
  for (std::size_t k = 1; k < 8; ++k)
    for (std::uint32_t n = 0; n < 256; ++n) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
  return t;
}
constexpr auto kCrcTables = MakeCrcTables();

std::uint32_t LoadLittleEndian(const std::uint8_t* p) {
  return p[0] | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[2]) << 16 |
         static_cast<std::uint32_t>(p[3]) << 24;
}

// RC4 keyed with IV ‖ key over `length` bytes at `data`; the seed is wiped afterwards.
void Rc4WithIv(const std::uint8_t iv[3], const std::uint8_t* key, std::uint32_t keyLength, std::uint8_t* data,
               std::uint32_t length) {
  std::uint8_t seed[3 + kWepMaxKeyBytes];
  std::memcpy(seed, iv, 3);
  std::memcpy(seed + 3, key, keyLength);
  Rc4InPlace(seed, 3 + keyLength, data, length);
  WipeKeyBytes(seed, sizeof seed);
}

}  // namespace

void Rc4InPlace(const std::uint8_t* key, std::uint32_t keyLength, std::uint8_t* data, std::uint32_t length) {
  Rc4State rc4;  // wiped by its destructor
  Rc4SetKey(rc4, keyLength, key);
  Rc4Crypt(rc4, length, data, data);
}

std::uint32_t WepCrc32(const std::uint8_t* data, std::uint32_t length) {
  const auto& t = kCrcTables;
  std::uint32_t crc = 0xFFFFFFFFu;
  std::uint32_t i = 0;
  for (; i + 8 <= length; i += 8) {
    const std::uint32_t lo = crc ^ LoadLittleEndian(data + i), hi = LoadLittleEndian(data + i + 4);
    crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^ t[3][hi & 0xFF] ^
          t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
  }
  for (; i < length; ++i) crc = (crc >> 8) ^ t[0][(crc ^ data[i]) & 0xFF];
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
