#pragma once
// The security a network with privacy asks for, told from the elements of its beacon: a WPA
// (vendor) or RSN element as IEEE 802.11 lays them out (version, group suite, pairwise count
// and suites, AKM count and suites) decides by its first pairwise suite and its first AKM
// suite; a CCX element of type 4 means open with no encryption. The first element that
// decides wins; an element too short for what is read is passed over. No deciding element:
// WEP with open authentication.
#include <cstdint>
#include <span>

namespace zelcon {

struct NetworkSecurity {
  uint32_t authMode = 0;    // profile codes: 0 open, 2 WPA-PSK, 9 WPA2-PSK, 100/101 802.1X
  uint32_t encryption = 1;  // 0 none, 1 WEP, 2 TKIP, 3 AES
};

inline constexpr uint32_t kAuthWpa8021x = 100;
inline constexpr uint32_t kAuthWpa2_8021x = 101;

// `elements`: the variable elements of one entry of the extended scan list.
NetworkSecurity DecodeNetworkSecurity(std::span<const uint8_t> elements);

}  // namespace zelcon
