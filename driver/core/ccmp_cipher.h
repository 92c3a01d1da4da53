#pragma once
// CCMP encapsulation of one MPDU body: the 8-byte CCMP header carrying the 48-bit packet
// number, AES-CCM over the data with the nonce and additional authentication data built
// from the MAC header, an 8-byte MIC.
#include <cstdint>

namespace zelnic::core {

constexpr std::uint32_t kCcmpHeaderBytes = 8;
constexpr std::uint32_t kCcmpMicBytes = 8;
constexpr std::uint64_t kCcmpPnMask = 0xFFFFFFFFFFFFull;

enum class CcmpRefusal { kNone, kTooShort, kNoExtendedIv, kReplay, kMicFailure };

// Encrypts `length` data bytes at `body + 8` in place under `pn`; writes the CCMP header and
// appends the MIC (the caller leaves room). `header` is the frame's MAC header of
// `headerLength` bytes; kTooShort when it is shorter than its frame control says.
CcmpRefusal CcmpEncrypt(const std::uint8_t key[16], const std::uint8_t* header, std::uint32_t headerLength,
                        std::uint64_t pn, std::uint32_t keyId, std::uint8_t* body, std::uint32_t length);

// The 48-bit packet number a received body carries (call only on bodies of at least 8 bytes).
std::uint64_t CcmpReceivedPn(const std::uint8_t* body);

// Decrypts a received body in place. Refused before decryption: a short header or body, no
// Extended IV bit, and (when `checkReplay`) a packet number not above `lastPn`, compared on
// all 48 bits. The caller commits the packet number only when this returns kNone.
CcmpRefusal CcmpDecrypt(const std::uint8_t key[16], const std::uint8_t* header, std::uint32_t headerLength,
                        std::uint64_t lastPn, bool checkReplay, std::uint8_t* body, std::uint32_t bodyLength,
                        std::uint32_t& dataLength);

}  // namespace zelnic::core
