#include "driver/core/wep_frame.h"

#include <cstring>
#include <utility>

#include "driver/core/core_adapter.h"

namespace zelnic::core {
namespace {

constexpr std::uint32_t kTransmitKeyBit = 0x80000000u;

std::uint32_t Crc32(const std::uint8_t* data, std::uint32_t length) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::uint32_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void Rc4(const std::uint8_t* seed, std::uint32_t seedLength, std::uint8_t* data, std::uint32_t length) {
  std::uint8_t s[256];
  for (int i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
  for (std::uint32_t i = 0, j = 0; i < 256; ++i) {
    j = (j + s[i] + seed[i % seedLength]) & 0xFF;
    std::swap(s[i], s[j]);
  }
  for (std::uint32_t n = 0, i = 0, j = 0; n < length; ++n) {
    i = (i + 1) & 0xFF;
    j = (j + s[i]) & 0xFF;
    std::swap(s[i], s[j]);
    data[n] ^= s[(s[i] + s[j]) & 0xFF];
  }
  std::memset(s, 0, sizeof s);
}

}  // namespace

bool TransmitWepKey(const CoreAdapter* core, std::uint32_t& index, const std::uint8_t*& key, std::uint32_t& length) {
  const WepKeyRecord* chosen = nullptr;
  for (const WepKeyRecord& record : core->Config.wepKeys) {
    if (record.keyLength == 0 || record.keyLength > sizeof record.key) continue;
    if (chosen == nullptr || (record.keyIndex & kTransmitKeyBit) != 0) chosen = &record;
    if ((record.keyIndex & kTransmitKeyBit) != 0) break;
  }
  if (chosen == nullptr) return false;
  index = chosen->keyIndex & 3;
  key = chosen->key;
  length = chosen->keyLength;
  return true;
}

void WepEncrypt(std::uint8_t* body, std::uint32_t length, std::uint32_t iv, std::uint32_t keyIndex,
                const std::uint8_t* key, std::uint32_t keyLength) {
  std::uint8_t seed[3 + 16];
  seed[0] = static_cast<std::uint8_t>(iv >> 16);
  seed[1] = static_cast<std::uint8_t>(iv >> 8);
  seed[2] = static_cast<std::uint8_t>(iv);
  std::memcpy(seed + 3, key, keyLength);
  std::uint8_t* data = body + 4;
  const std::uint32_t icv = Crc32(data, length);
  for (int i = 0; i < 4; ++i) data[length + i] = static_cast<std::uint8_t>(icv >> (8 * i));
  Rc4(seed, 3 + keyLength, data, length + 4);
  std::memset(seed, 0, sizeof seed);  // the key never stays on the stack
  body[0] = static_cast<std::uint8_t>(iv >> 16);
  body[1] = static_cast<std::uint8_t>(iv >> 8);
  body[2] = static_cast<std::uint8_t>(iv);
  body[3] = static_cast<std::uint8_t>(keyIndex << 6);
}

}  // namespace zelnic::core
