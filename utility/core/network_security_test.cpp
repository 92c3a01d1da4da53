#include "utility/core/network_security.h"

#include <gtest/gtest.h>

#include <vector>

namespace zelcon {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Element(uint8_t id, const Bytes& body) {
  Bytes e{id, static_cast<uint8_t>(body.size())};
  e.insert(e.end(), body.begin(), body.end());
  return e;
}
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}
// Version 1, group suite, the pairwise suites, the AKM suites (each given by its last byte).
Bytes Suites(uint8_t o1, uint8_t o2, uint8_t o3, std::vector<uint8_t> pairwise, std::vector<uint8_t> akms) {
  Bytes b{1, 0, o1, o2, o3, 2, static_cast<uint8_t>(pairwise.size()), 0};
  for (uint8_t p : pairwise) b.insert(b.end(), {o1, o2, o3, p});
  b.insert(b.end(), {static_cast<uint8_t>(akms.size()), 0});
  for (uint8_t a : akms) b.insert(b.end(), {o1, o2, o3, a});
  return b;
}
Bytes Rsn(std::vector<uint8_t> pairwise, std::vector<uint8_t> akms) {
  return Element(48, Suites(0x00, 0x0F, 0xAC, pairwise, akms));
}
Bytes Wpa(std::vector<uint8_t> pairwise, std::vector<uint8_t> akms) {
  return Element(221, Cat({{0x00, 0x50, 0xF2, 1}, Suites(0x00, 0x50, 0xF2, pairwise, akms)}));
}

TEST(DecodeNetworkSecurity, ReadsWpaAndRsnElementsAsTheStandardLaysThemOut) {
  const Bytes ssid = Element(0, {'o', 'f', 'f', 'i', 'c', 'e'});
  Bytes cut = Rsn({4}, {2});
  cut.resize(cut.size() - 3);
  cut[1] = static_cast<uint8_t>(cut.size() - 2);  // the AKM suite is cut short
  struct Case {
    const char* name;
    Bytes elements;
    uint32_t auth, encryption;
  };
  const Case cases[] = {
      {"no element: WEP, open", ssid, 0, 1},
      {"WPA-PSK with TKIP", Cat({ssid, Wpa({2}, {2})}), 2, 2},
      {"WPA 802.1X with AES", Wpa({4}, {1}), kAuthWpa8021x, 3},
      {"WPA2-PSK with AES", Rsn({4}, {2}), 9, 3},
      {"WPA2 802.1X", Rsn({4}, {1}), kAuthWpa2_8021x, 3},
      // Mixed mode: two pairwise suites; the AKM follows both.
      {"RSN, TKIP and AES, PSK", Rsn({2, 4}, {2}), 9, 2},
      {"WPA, TKIP and AES, PSK", Wpa({2, 4}, {2}), 2, 2},
      {"RSN too short is passed over", cut, 0, 1},
      {"a short RSN is passed over for the WPA after it", Cat({cut, Wpa({2}, {2})}), 2, 2},
      {"no pairwise suite", Rsn({}, {2}), 0, 1},
      {"RSN of 12 bytes is not examined",
       Element(48, {1, 0, 0, 0x0F, 0xAC, 4, 1, 0, 0, 0x0F, 0xAC, 4}), 0, 1},
      {"the first deciding element wins", Cat({Rsn({4}, {2}), Wpa({2}, {2})}), 9, 3},
      {"CCX type 4", Element(221, {0x00, 0x40, 0x96, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 0, 0},
      {"an element running past the end ends the walk", Cat({ssid, Bytes{48, 40, 1, 0}}), 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const NetworkSecurity s = DecodeNetworkSecurity(c.elements);
    EXPECT_EQ(s.authMode, c.auth);
    EXPECT_EQ(s.encryption, c.encryption);
  }
}

}  // namespace
}  // namespace zelcon
