#pragma once
// The station's WPA and RSN elements for an association request, chosen from what the BSS
// advertises: its group cipher, CCMP as pairwise cipher when offered (else TKIP), and PSK or
// 802.1X key management by the authentication mode.
#include <cstdint>

namespace zelnic::core {

// The BSS's element of `id` (48 RSN; 221 with the WPA OUI 00:50:F2 type 1) in an element
// block; null when absent. `block` holds the 12 fixed bytes first.
const std::uint8_t* FindSecurityElement(const std::uint8_t* block, std::uint32_t length, bool rsn);

// Copies the first RSN element (length at least 20, version 1) and the first WPA element
// (length above 21, OUI 00:50:F2 type 1, version 1) of an element block into their 64-byte
// slots, each cut to the slot; a slot stays zero when its element is absent. `block` holds
// the 12 fixed bytes first; a zero-length element (a hidden network's SSID) is walked past.
void ExtractSecurityElements(const std::uint8_t* block, std::uint32_t length, std::uint8_t (&wpa)[64],
                             std::uint8_t (&rsn)[64]);

// Whether a BSS's RSN element (as its 64-byte slot holds it) sets the pre-authentication bit
// of its capabilities; false for an empty slot or an element that ends before them.
inline constexpr std::uint16_t kRsnCapabilityPreauthentication = 0x0001;
bool OffersPreauthentication(const std::uint8_t* rsnSlot);

// The ciphers an IBSS of WPA-None announces, as flag bits (the strongest group flag wins).
inline constexpr std::uint32_t kIbssCipherWep40 = 0x1;
inline constexpr std::uint32_t kIbssCipherWep104 = 0x2;
inline constexpr std::uint32_t kIbssCipherTkip = 0x4;
inline constexpr std::uint32_t kIbssCipherCcmp = 0x8;
struct IbssCiphers {
  std::uint32_t group = 0;
  std::uint32_t pairwise = 0;
};

// The RSN element of an IBSS beacon: version 1, the group suite, the pairwise list (CCMP for
// a CCMP group; CCMP when offered, then TKIP, for a TKIP group; "use the group cipher" for
// WEP), one PSK key management suite, no capabilities. Writes at most 26 bytes at `at`; its
// length, 0 without a group cipher.
std::uint32_t BuildIbssRsnElement(const IbssCiphers& ciphers, std::uint8_t* at);

// The ciphers an association settled on, as NDIS encryption statuses (0 WEP, 4 TKIP, 6 AES).
struct ChosenCiphers {
  std::uint32_t pairwise = 0;
  std::uint32_t group = 0;
};

// PMKIDs cached for the target BSS; the RSN element carries them all.
struct TargetPmkids {
  static constexpr std::uint32_t kMax = 14;  // what the element's length byte can hold
  std::uint8_t pmkids[kMax][16] = {};
  std::uint32_t count = 0;
};

// `bssElement` is the BSS's element as its slot holds it (at most 64 bytes): an element cut
// to the slot is read only within the bytes kept, so a suite list that runs past them gives
// no element.
// Writes the station's element at `at`; its length, 0 when the BSS's element names no
// cipher the station can use. The pairwise cipher is the one the encryption status asks for
// (4 TKIP, 6 CCMP), else the strongest offered; a group cipher stronger than it, or unknown,
// gives no element, and so does a BSS without the key management the authentication mode
// needs (PSK for modes 4 and 7, 802.1X otherwise), or a suite list that runs past its
// element. The RSN element ends with the PMKID count and the PMKIDs (none after a count of
// 0: trailing bytes would make standard access points refuse the association).
std::uint32_t BuildStationRsnElement(const std::uint8_t* bssElement, std::uint32_t authMode,
                                     std::uint32_t encryptionStatus, std::uint8_t* at, ChosenCiphers& chosen,
                                     const TargetPmkids& pmkids = {});
std::uint32_t BuildStationWpaElement(const std::uint8_t* bssElement, std::uint32_t authMode,
                                     std::uint32_t encryptionStatus, std::uint8_t* at, ChosenCiphers& chosen);

}  // namespace zelnic::core
