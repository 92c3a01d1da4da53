#include "driver/core/ccmp_cipher.h"

#include <cstring>

#include "driver/core/aes128.h"
#include "driver/core/ccm_pass.h"

namespace zelnic::core {
namespace {

constexpr std::uint8_t kExtendedIvBit = 0x20;
constexpr std::uint32_t kNonceBytes = 13;

// CCM's first blocks for a frame of `length` data bytes: B0 and A0 carry the nonce (priority,
// A2, PN5..PN0), the AAD is the masked frame control, A1..A3, the fragment number only of the
// sequence control, A4 and the TID of QoS control when present. False when the header is
// shorter than its frame control says.
bool BuildCcmFirstBlocks(const std::uint8_t* header, std::uint32_t headerLength, std::uint64_t pn,
                         std::uint32_t length, CcmFirstBlocks& first) {
  if (header == nullptr || headerLength < 24) return false;
  const bool fourAddresses = (header[1] & 0x03) == 0x03;
  const bool qos = (header[0] & 0x0C) == 0x08 && (header[0] & 0x80) != 0;
  const std::uint32_t qosOffset = fourAddresses ? 30 : 24;
  if (headerLength < qosOffset + (qos ? 2 : 0)) return false;
  const std::uint8_t priority = qos ? static_cast<std::uint8_t>(header[qosOffset] & 0x0F) : 0;

  std::uint8_t nonce[kNonceBytes];
  nonce[0] = priority;
  std::memcpy(nonce + 1, header + 10, 6);
  for (int i = 0; i < 6; ++i) nonce[7 + i] = static_cast<std::uint8_t>(pn >> (8 * (5 - i)));
  first.b0[0] = 0x59;  // AAD present, 8-byte MIC, 2-byte length
  std::memcpy(first.b0 + 1, nonce, kNonceBytes);
  first.b0[14] = static_cast<std::uint8_t>(length >> 8);
  first.b0[15] = static_cast<std::uint8_t>(length);
  first.a0[0] = 0x01;  // A0, A1, ...: the nonce and a 2-byte counter
  std::memcpy(first.a0 + 1, nonce, kNonceBytes);
  first.a0[14] = first.a0[15] = 0;

  std::memset(first.aad, 0, sizeof first.aad);
  std::uint8_t* a = first.aad + 2;                              // after the AAD's 2-byte length
  a[0] = static_cast<std::uint8_t>(header[0] & 0x8F);           // subtype bits 4..6 cleared
  a[1] = static_cast<std::uint8_t>((header[1] & 0xC7) | 0x40);  // retry, power, more data cleared; protected
  std::memcpy(a + 2, header + 4, 18);                           // A1, A2, A3
  a[20] = static_cast<std::uint8_t>(header[22] & 0x0F);
  std::uint32_t n = 22;
  if (fourAddresses) {
    std::memcpy(a + n, header + 24, 6);
    n += 6;
  }
  if (qos) {
    a[n] = priority;
    n += 2;
  }
  first.aad[1] = static_cast<std::uint8_t>(n);
  return true;
}

// CCM over `data` in place under the key, expanded for this frame.
void Ccm(const std::uint8_t key[16], const CcmFirstBlocks& first, CcmDirection direction, std::uint8_t* data,
         std::uint32_t length, std::uint8_t mic[kCcmpMicBytes]) {
  AesKeySchedule schedule;
  AesExpandKey(key, kAes128KeyBytes, schedule);
  CcmPass(schedule, first, direction, data, length, mic);
}

}  // namespace

CcmpRefusal CcmpEncrypt(const std::uint8_t key[16], const std::uint8_t* header, std::uint32_t headerLength,
                        std::uint64_t pn, std::uint32_t keyId, std::uint8_t* body, std::uint32_t length) {
  CcmFirstBlocks first;
  if (!BuildCcmFirstBlocks(header, headerLength, pn, length, first)) return CcmpRefusal::kTooShort;
  body[0] = static_cast<std::uint8_t>(pn);
  body[1] = static_cast<std::uint8_t>(pn >> 8);
  body[2] = 0;
  body[3] = static_cast<std::uint8_t>((keyId & 3) << 6 | kExtendedIvBit);
  for (int i = 0; i < 4; ++i) body[4 + i] = static_cast<std::uint8_t>(pn >> (16 + 8 * i));
  std::uint8_t* data = body + kCcmpHeaderBytes;
  Ccm(key, first, CcmDirection::kEncrypt, data, length, data + length);
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
  const std::uint32_t length = bodyLength - kCcmpHeaderBytes - kCcmpMicBytes;
  CcmFirstBlocks first;
  if (!BuildCcmFirstBlocks(header, headerLength, pn, length, first)) return CcmpRefusal::kTooShort;
  std::uint8_t* data = body + kCcmpHeaderBytes;
  std::uint8_t mic[kCcmpMicBytes];
  Ccm(key, first, CcmDirection::kDecrypt, data, length, mic);
  std::uint8_t differ = 0;  // compared in constant time
  for (std::uint32_t i = 0; i < kCcmpMicBytes; ++i) differ |= static_cast<std::uint8_t>(data[length + i] ^ mic[i]);
  if (differ != 0) return CcmpRefusal::kMicFailure;
  dataLength = length;
  return CcmpRefusal::kNone;
}

}  // namespace zelnic::core
