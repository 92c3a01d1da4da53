#include "driver/core/ccmp_cipher.h"

#include <cstring>

#include "driver/core/aes128.h"

namespace zelnic::core {
namespace {

constexpr std::uint8_t kExtendedIvBit = 0x20;
constexpr std::uint32_t kNonceBytes = 13;
constexpr std::uint32_t kMaxAadBytes = 30;

struct CcmInputs {
  std::uint8_t nonce[kNonceBytes];
  std::uint8_t aad[kMaxAadBytes];
  std::uint32_t aadLength;
};

// Nonce (priority, A2, PN5..PN0) and AAD (masked frame control, A1..A3, fragment number
// only of the sequence control, A4 and the TID of QoS control when present). False when the
// header is shorter than its frame control says.
bool BuildCcmInputs(const std::uint8_t* header, std::uint32_t headerLength, std::uint64_t pn, CcmInputs& in) {
  if (header == nullptr || headerLength < 24) return false;
  const bool fourAddresses = (header[1] & 0x03) == 0x03;
  const bool qos = (header[0] & 0x0C) == 0x08 && (header[0] & 0x80) != 0;
  const std::uint32_t qosOffset = fourAddresses ? 30 : 24;
  if (headerLength < qosOffset + (qos ? 2 : 0)) return false;
  const std::uint8_t priority = qos ? static_cast<std::uint8_t>(header[qosOffset] & 0x0F) : 0;

  in.nonce[0] = priority;
  std::memcpy(in.nonce + 1, header + 10, 6);
  for (int i = 0; i < 6; ++i) in.nonce[7 + i] = static_cast<std::uint8_t>(pn >> (8 * (5 - i)));

  std::uint8_t* a = in.aad;
  a[0] = static_cast<std::uint8_t>(header[0] & 0x8F);           // subtype bits 4..6 cleared
  a[1] = static_cast<std::uint8_t>((header[1] & 0xC7) | 0x40);  // retry, power, more data cleared; protected
  std::memcpy(a + 2, header + 4, 18);                           // A1, A2, A3
  a[20] = static_cast<std::uint8_t>(header[22] & 0x0F);
  a[21] = 0;
  std::uint32_t n = 22;
  if (fourAddresses) {
    std::memcpy(a + n, header + 24, 6);
    n += 6;
  }
  if (qos) {
    a[n++] = priority;
    a[n++] = 0;
  }
  in.aadLength = n;
  return true;
}

// x ^= y over n bytes (at most 16), a word at a time where it can.
void XorBlock(std::uint8_t* x, const std::uint8_t* y, std::uint32_t n) {
  std::uint32_t i = 0;
  for (; i + 4 <= n; i += 4) {
    std::uint32_t a, b;
    std::memcpy(&a, x + i, 4);
    std::memcpy(&b, y + i, 4);
    a ^= b;
    std::memcpy(x + i, &a, 4);
  }
  for (; i < n; ++i) x[i] ^= y[i];
}

void SetCounter(std::uint8_t a[16], std::uint32_t i) {
  a[14] = static_cast<std::uint8_t>(i >> 8);
  a[15] = static_cast<std::uint8_t>(i);
}

enum class Direction { kEncrypt, kDecrypt };

// CCM over `data` in place, the CBC-MAC and the counter keystream in one pass over the
// 16-byte blocks: each AES call takes the MAC of block i and the keystream of block i + 1
// together. Returns the MIC (the MAC's first 8 bytes XORed with E(A0)) in `mic`.
void Ccm(const Aes128& aes, const CcmInputs& in, Direction direction, std::uint8_t* data, std::uint32_t length,
         std::uint8_t mic[8]) {
  std::uint8_t x[16], a[16], s0[16], s[16];
  x[0] = 0x59;  // B0: AAD present, 8-byte MIC, 2-byte length
  std::memcpy(x + 1, in.nonce, kNonceBytes);
  x[14] = static_cast<std::uint8_t>(length >> 8);
  x[15] = static_cast<std::uint8_t>(length);
  a[0] = 0x01;  // A0, A1, ...: the nonce and a 2-byte counter
  std::memcpy(a + 1, in.nonce, kNonceBytes);
  SetCounter(a, 0);
  aes.EncryptTwoBlocks(x, x, a, s0);

  std::uint8_t aad[32] = {};  // its 2-byte length, the AAD, zeros to two blocks
  aad[1] = static_cast<std::uint8_t>(in.aadLength);
  std::memcpy(aad + 2, in.aad, in.aadLength);
  XorBlock(x, aad, 16);
  aes.EncryptBlock(x, x);
  XorBlock(x, aad + 16, 16);
  SetCounter(a, 1);
  aes.EncryptTwoBlocks(x, x, a, s);

  for (std::uint32_t at = 0, block = 1; at < length; at += 16, ++block) {
    const std::uint32_t n = length - at < 16 ? length - at : 16;
    std::uint8_t* d = data + at;
    if (direction == Direction::kEncrypt) {
      XorBlock(x, d, n);
      XorBlock(d, s, n);
    } else {
      XorBlock(d, s, n);
      XorBlock(x, d, n);
    }
    if (at + 16 < length) {
      SetCounter(a, block + 1);
      aes.EncryptTwoBlocks(x, x, a, s);
    } else {
      aes.EncryptBlock(x, x);
    }
  }
  for (std::uint32_t i = 0; i < kCcmpMicBytes; ++i) mic[i] = static_cast<std::uint8_t>(x[i] ^ s0[i]);
}

}  // namespace

CcmpRefusal CcmpEncrypt(const std::uint8_t key[16], const std::uint8_t* header, std::uint32_t headerLength,
                        std::uint64_t pn, std::uint32_t keyId, std::uint8_t* body, std::uint32_t length) {
  CcmInputs in;
  if (!BuildCcmInputs(header, headerLength, pn, in)) return CcmpRefusal::kTooShort;
  body[0] = static_cast<std::uint8_t>(pn);
  body[1] = static_cast<std::uint8_t>(pn >> 8);
  body[2] = 0;
  body[3] = static_cast<std::uint8_t>((keyId & 3) << 6 | kExtendedIvBit);
  for (int i = 0; i < 4; ++i) body[4 + i] = static_cast<std::uint8_t>(pn >> (16 + 8 * i));
  const Aes128 aes(key);  // expanded per frame
  std::uint8_t* data = body + kCcmpHeaderBytes;
  Ccm(aes, in, Direction::kEncrypt, data, length, data + length);
  return CcmpRefusal::kNone;
}

std::uint64_t CcmpReceivedPn(const std::uint8_t* body) {
  std::uint64_t pn = static_cast<std::uint64_t>(body[0]) | static_cast<std::uint64_t>(body[1]) << 8;
  for (int i = 0; i < 4; ++i) pn |= static_cast<std::uint64_t>(body[4 + i]) << (16 + 8 * i);
  return pn;
}

CcmpRefusal CcmpDecrypt(const std::uint8_t key[16], const std::uint8_t* header, std::uint32_t headerLength,
                        std::uint64_t lastPn, bool checkReplay, std::uint8_t* body, std::uint32_t bodyLength,
                        std::uint32_t& dataLength) {
  dataLength = 0;
  if (bodyLength < kCcmpHeaderBytes + kCcmpMicBytes) return CcmpRefusal::kTooShort;
  if ((body[3] & kExtendedIvBit) == 0) return CcmpRefusal::kNoExtendedIv;
  const std::uint64_t pn = CcmpReceivedPn(body);
  if (checkReplay && pn <= (lastPn & kCcmpPnMask)) return CcmpRefusal::kReplay;
  CcmInputs in;
  if (!BuildCcmInputs(header, headerLength, pn, in)) return CcmpRefusal::kTooShort;
  const std::uint32_t length = bodyLength - kCcmpHeaderBytes - kCcmpMicBytes;
  const Aes128 aes(key);
  std::uint8_t* data = body + kCcmpHeaderBytes;
  std::uint8_t mic[kCcmpMicBytes];
  Ccm(aes, in, Direction::kDecrypt, data, length, mic);
  std::uint8_t differ = 0;  // compared in constant time
  for (std::uint32_t i = 0; i < kCcmpMicBytes; ++i) differ |= static_cast<std::uint8_t>(data[length + i] ^ mic[i]);
  if (differ != 0) return CcmpRefusal::kMicFailure;
  dataLength = length;
  return CcmpRefusal::kNone;
}

}  // namespace zelnic::core
