#pragma once
// The station's WPA and RSN elements for an association request, chosen from what the BSS
// advertises: its group cipher, CCMP as pairwise cipher when offered (else TKIP), and PSK or
// 802.1X key management by the authentication mode.
#include <cstdint>

namespace zelnic::core {

// The BSS's element of `id` (48 RSN; 221 with the WPA OUI 00:50:F2 type 1) in an element
// block; null when absent. `block` holds the 12 fixed bytes first.
const std::uint8_t* FindSecurityElement(const std::uint8_t* block, std::uint32_t length, bool rsn);

// The ciphers an association settled on, as NDIS encryption statuses (0 WEP, 4 TKIP, 6 AES).
struct ChosenCiphers {
  std::uint32_t pairwise = 0;
  std::uint32_t group = 0;
};

// Writes the station's element at `at`; its length, 0 when the BSS's element names no
// cipher the station can use. The pairwise cipher is the one the encryption status asks for
// (4 TKIP, 6 CCMP), else the strongest offered; a group cipher stronger than it, or unknown,
// gives no element, and so does a BSS without the key management the authentication mode
// needs (PSK for modes 4 and 7, 802.1X otherwise), or a suite list that runs past its
// element. The RSN element ends after its PMKID count of 0.
std::uint32_t BuildStationRsnElement(const std::uint8_t* bssElement, std::uint32_t authMode,
                                     std::uint32_t encryptionStatus, std::uint8_t* at, ChosenCiphers& chosen);
std::uint32_t BuildStationWpaElement(const std::uint8_t* bssElement, std::uint32_t authMode,
                                     std::uint32_t encryptionStatus, std::uint8_t* at, ChosenCiphers& chosen);

}  // namespace zelnic::core
