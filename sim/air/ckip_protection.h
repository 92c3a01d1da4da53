#pragma once
// CKIP of the access point, for a WEP network whose Aironet element sets the CKIP flags: the
// per-packet RC4 key by key permutation (over TKIP's S-box), and the CKIP header (its SNAP,
// CMIC and SEQ) with the CMIC, an MMH hash over an AES-128 counter keystream modulo
// 2^32 + 15. On OpenSSL (legacy-provider RC4, AES-128).
//
// Written from the frame formats by a second hand, apart from the station's CKIP: there are
// no public test vectors, so every CKIP frame on the air checks one implementation against
// the other. Keep the two independent; do not fold either into the other.
#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "sim/air/ieee80211.h"

namespace simair {

// The CKIP flags of the Aironet element.
inline constexpr std::uint8_t kCkipKeyPermutation = 0x10, kCkipCmic = 0x08;
// CKIP SNAP (8), CMIC (4), SEQ (4): what replaces the RFC 1042 SNAP ahead of the EtherType.
inline constexpr std::size_t kCkipHeaderBytes = 16;

using CkipKey = std::array<std::uint8_t, 16>;

// A WEP key as CKIP takes it: its bytes repeated from the start to fill 16 (empty: zeros).
CkipKey CkipKeyOf(std::span<const std::uint8_t> key);

// The per-packet RC4 key: the IV, then bytes 3..15 of the eight permuted words (little-endian).
// `direction` is the frame's To DS / From DS bits.
std::array<std::uint8_t, 16> CkipKeyPermute(const CkipKey& key, std::uint8_t direction,
                                            std::span<const std::uint8_t, 3> iv);

// The protected body (IV | key id | RC4 under the permuted key over data and CRC-32 ICV).
dot11::Bytes CkipSeal(const CkipKey& key, std::uint8_t direction, std::uint32_t iv, std::uint8_t keyId,
                      std::span<const std::uint8_t> plain);
// Its data, or nothing: shorter than IV and ICV, or a wrong ICV.
std::optional<dot11::Bytes> CkipOpen(const CkipKey& key, std::uint8_t direction, std::span<const std::uint8_t> body);

// The CMIC of an MSDU: MMH over DA, SA, the length of the CKIP body (big-endian, 16 + data),
// the CKIP SNAP, SEQ and the data (the EtherType on).
std::array<std::uint8_t, 4> Cmic(const CkipKey& key, const MacAddress& destination, const MacAddress& source,
                                 std::uint32_t sequence, std::span<const std::uint8_t> data);

// An MSDU body with RFC 1042 or bridge-tunnel SNAP (not EAPOL) in CKIP form: CKIP SNAP, CMIC,
// SEQ, EtherType, payload. Other bodies (length frames, EAPOL) come back unchanged, and false.
bool AddCkipHeader(const CkipKey& key, const MacAddress& destination, const MacAddress& source,
                   std::uint32_t sequence, dot11::Bytes& body);
// A body that begins with the CKIP SNAP: its CMIC checked and the RFC 1042 form returned; nothing
// when it is too short or the CMIC is wrong (the SEQ is not checked). Other bodies: unchanged.
std::optional<dot11::Bytes> RemoveCkipHeader(const CkipKey& key, const MacAddress& destination,
                                             const MacAddress& source, std::span<const std::uint8_t> body);

}  // namespace simair
