#pragma once
// EAP packet codes and types (RFC 3748), the Response header writer, and reading the EAP
// header {code, identifier, 16-bit big-endian length} and, for Requests and Responses, the
// type byte, from bytes that came from a peer. Every field read lies inside
// both the buffer and the packet's own length.
#include <cstdint>

// False when fewer than 4 bytes are given, or fewer than the length field says, or the
// length field is below the header's 4 bytes; else the three header fields.
bool ParseEapHeader(const std::uint8_t* packet, std::uint32_t length, std::uint8_t& code,
                    std::uint8_t& identifier, std::uint16_t& eapLength);

// As ParseEapHeader; for codes 1 (Request) and 2 (Response) the type is byte 4 and the data
// start at byte 5 (eapLength - 5 bytes), and a packet too short to hold the type is refused;
// for other codes the type is 0 and the data start at byte 4 (eapLength - 4 bytes).
bool ParseEapPacket(const std::uint8_t* packet, std::uint32_t length, std::uint8_t& code,
                    std::uint8_t& identifier, std::uint16_t& eapLength, std::uint8_t& type,
                    const std::uint8_t*& data, std::uint32_t& dataLength);

inline constexpr std::uint8_t kEapCodeRequest = 1;
inline constexpr std::uint8_t kEapCodeResponse = 2;
inline constexpr std::uint8_t kEapCodeSuccess = 3;
inline constexpr std::uint8_t kEapCodeFailure = 4;

inline constexpr std::uint8_t kEapTypeIdentity = 1;
inline constexpr std::uint8_t kEapTypeNotification = 2;
inline constexpr std::uint8_t kEapTypeNak = 3;
inline constexpr std::uint8_t kEapTypeMd5Challenge = 4;
inline constexpr std::uint8_t kEapTypeTokenCard = 6;
inline constexpr std::uint8_t kEapTypeTls = 13;
inline constexpr std::uint8_t kEapTypeLeap = 17;
inline constexpr std::uint8_t kEapTypeTtls = 21;
inline constexpr std::uint8_t kEapTypePeap = 25;
inline constexpr std::uint8_t kEapTypeMsChapV2 = 26;
inline constexpr std::uint8_t kEapTypeTlv = 33;

inline constexpr std::uint32_t kEapHeaderSize = 4;
// Header and type byte of a Request or Response.
inline constexpr std::uint32_t kEapTypedHeaderSize = 5;

// Writes the 5-byte header of a Response of `eapLength` bytes in all.
inline void WriteEapResponseHeader(std::uint8_t* header, std::uint8_t identifier, std::uint8_t type,
                                   std::uint16_t eapLength) {
  header[0] = kEapCodeResponse;
  header[1] = identifier;
  header[2] = static_cast<std::uint8_t>(eapLength >> 8);
  header[3] = static_cast<std::uint8_t>(eapLength);
  header[4] = type;
}
