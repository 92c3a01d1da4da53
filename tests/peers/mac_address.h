// A 6-byte MAC address in transmission order.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

namespace peers {

using MacAddress = std::array<uint8_t, 6>;

// The IEEE 802.1X PAE group address that EAPOL goes to on a wired port.
inline constexpr MacAddress kPaeGroupAddress = {0x01, 0x80, 0xC2, 0x00, 0x00, 0x03};

// "02:5a:..." as hostapd_cli takes it.
inline std::string ToString(const MacAddress& mac) {
  char text[18];
  std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3],
                mac[4], mac[5]);
  return text;
}

}  // namespace peers
