#pragma once
// LLC/SNAP headers of 802.11 data frames: RFC 1042 for every EtherType, the bridge tunnel
// (802.1H) for the two protocols that must come back as they went (AppleTalk ARP, IPX), and
// the maker's own.
#include <cstdint>
#include <cstring>

namespace zelnic::core {

inline constexpr std::uint32_t kSnapBytes = 8;  // AA AA 03, OUI, EtherType
inline constexpr std::uint32_t kEthernetHeaderBytes = 14;
inline constexpr std::uint16_t kMaxLengthField = 1500;  // an EtherType of 1500 or less is a length
inline constexpr std::uint16_t kEtherTypeEapol = 0x888E;
inline constexpr std::uint8_t kRfc1042[6] = {0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00};
inline constexpr std::uint8_t kBridgeTunnel[6] = {0xAA, 0xAA, 0x03, 0x00, 0x00, 0xF8};

// The maker's own SNAP headers (OUI 02-5A-9C): protocol 00 00 carries its vendor-mode
// frames (vendor_frames.h), 00 01 the SwiftBond exchange (swiftbond_messages.h).
inline constexpr std::uint8_t kMakerVendorHeader[8] = {0xAA, 0xAA, 0x03, 0x02, 0x5A, 0x9C, 0x00, 0x00};
inline constexpr std::uint8_t kSwiftBondSnap[8] = {0xAA, 0xAA, 0x03, 0x02, 0x5A, 0x9C, 0x00, 0x01};

inline bool IsBridgeTunnelType(std::uint16_t type) { return type == 0x80F3 || type == 0x8137; }

// Writes the SNAP header of `type` at `at` (8 bytes).
inline void WriteSnap(std::uint8_t* at, std::uint16_t type) {
  std::memcpy(at, IsBridgeTunnelType(type) ? kBridgeTunnel : kRfc1042, 6);
  at[6] = static_cast<std::uint8_t>(type >> 8);
  at[7] = static_cast<std::uint8_t>(type);
}

}  // namespace zelnic::core
