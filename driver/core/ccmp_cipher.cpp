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

void XorBlock(std::uint8_t* x, const std::uint8_t* y, std::uint32_t n) {
  for (std::uint32_t i = 0; i < n; ++i) x[i] ^= y[i];
}

// CBC-MAC over B0, the AAD and `plain`: the 8-byte tag before encryption.
void CbcMac(const Aes128& aes, const CcmInputs& in, const std::uint8_t* plain, std::uint32_t length,
            std::uint8_t tag[8]) {
  std::uint8_t x[16];
  x[0] = 0x59;  // AAD present, 8-byte MIC, 2-byte length
  std::memcpy(x + 1, in.nonce, kNonceBytes);
  x[14] = static_cast<std::uint8_t>(length >> 8);
  x[15] = static_cast<std::uint8_t>(length);
  aes.EncryptBlock(x, x);
  std::uint8_t block[32] = {};
  block[0] = 0;
  block[1] = static_cast<std::uint8_t>(in.aadLength);
  std::memcpy(block + 2, in.aad, in.aadLength);
  XorBlock(x, block, 16);
  aes.EncryptBlock(x, x);
  XorBlock(x, block + 16, 16);
  aes.EncryptBlock(x, x);
  for (std::uint32_t i = 0; i < length; i += 16) {
    XorBlock(x, plain + i, length - i < 16 ? length - i : 16);
    aes.EncryptBlock(x, x);
  }
  std::memcpy(tag, x, 8);
}

// XORs the counter keystream A1, A2, ... onto `data`; returns S0 = E(A0) in `s0`.
void Ctr(const Aes128& aes, const CcmInputs& in, std::uint8_t* data, std::uint32_t length, std::uint8_t s0[16]) {
  std::uint8_t a[16], s[16];
  a[0] = 0x01;
  std::memcpy(a + 1, in.nonce, kNonceBytes);
  a[14] = a[15] = 0;
  aes.EncryptBlock(a, s0);
  std::uint32_t counter = 1;
  for (std::uint32_t i = 0; i < length; i += 16, ++counter) {
    a[14] = static_cast<std::uint8_t>(counter >> 8);
    a[15] = static_cast<std::uint8_t>(counter);
    aes.EncryptBlock(a, s);
    XorBlock(data + i, s, length - i < 16 ? length - i : 16);
  }
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
  std::uint8_t tag[8], s0[16];
  CbcMac(aes, in, data, length, tag);
  Ctr(aes, in, data, length, s0);
  for (std::uint32_t i = 0; i < kCcmpMicBytes; ++i) data[length + i] = static_cast<std::uint8_t>(tag[i] ^ s0[i]);
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
  std::uint8_t tag[8], s0[16];
  Ctr(aes, in, data, length, s0);
  CbcMac(aes, in, data, length, tag);
  std::uint8_t differ = 0;  // compared in constant time
  for (std::uint32_t i = 0; i < kCcmpMicBytes; ++i) differ |= static_cast<std::uint8_t>(data[length + i] ^ tag[i] ^ s0[i]);
  if (differ != 0) return CcmpRefusal::kMicFailure;
  dataLength = length;
  return CcmpRefusal::kNone;
}

}  // namespace zelnic::core
