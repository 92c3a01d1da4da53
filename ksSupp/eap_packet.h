// EAP packet codes and types (RFC 3748) and the Response header, shared by the PAE, the EAP
// runner and the methods. The readers are ParseEapHeader and ParseEapPacket.
#pragma once

#include <dcf/dcfEapHeader.h>

#include <cstdint>

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
