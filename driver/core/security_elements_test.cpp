// The station's RSN and WPA elements: the pairwise cipher the encryption status asks for, and
// the group cipher never stronger than it.
#include "driver/core/security_elements.h"

#include <gtest/gtest.h>

#include <vector>

namespace zelnic::core {
namespace {

// An access point's RSN element: version 1, the group suite, the pairwise suites, PSK.
std::vector<std::uint8_t> RsnElement(std::uint8_t group, const std::vector<std::uint8_t>& pairwise) {
  std::vector<std::uint8_t> e = {48, 0, 1, 0, 0x00, 0x0F, 0xAC, group, static_cast<std::uint8_t>(pairwise.size()), 0};
  for (std::uint8_t p : pairwise) e.insert(e.end(), {0x00, 0x0F, 0xAC, p});
  e.insert(e.end(), {1, 0, 0x00, 0x0F, 0xAC, 2, 0, 0});
  e[1] = static_cast<std::uint8_t>(e.size() - 2);
  return e;
}

TEST(SecurityElements, TheGroupCipherIsNeverStrongerThanThePairwiseOne) {
  struct Case {
    const char* name;
    std::uint8_t group;
    std::vector<std::uint8_t> pairwise;
    std::uint32_t encryptionStatus;
    std::uint8_t chosenPairwise;  // 0: no element
    std::uint32_t groupStatus;
  } cases[] = {
      {"CCMP group, TKIP pairwise", 4, {2}, 4, 0, 0},
      {"TKIP group, CCMP pairwise", 2, {4, 2}, 6, 4, 4},
      {"TKIP wanted where CCMP is offered too", 2, {4, 2}, 4, 2, 4},
      {"WEP-40 group, TKIP pairwise", 1, {2}, 4, 2, 0},
      {"WEP-104 group, CCMP pairwise", 5, {4}, 6, 4, 0},
      {"an unknown group suite", 7, {4}, 6, 0, 0},
      {"CCMP wanted, only TKIP offered", 2, {2}, 6, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto element = RsnElement(c.group, c.pairwise);
    std::uint8_t out[64] = {};
    ChosenCiphers chosen;
    const std::uint32_t length = BuildStationRsnElement(element.data(), 7, c.encryptionStatus, out, chosen);
    if (c.chosenPairwise == 0) {
      EXPECT_EQ(length, 0u);
      continue;
    }
    ASSERT_EQ(length, 24u);  // ends after the PMKID count of 0
    EXPECT_EQ(out[7], c.group);           // the group suite as the access point gave it
    EXPECT_EQ(out[13], c.chosenPairwise);  // one pairwise suite
    EXPECT_EQ(chosen.group, c.groupStatus);
    EXPECT_EQ(chosen.pairwise, c.chosenPairwise == 4 ? 6u : 4u);
  }
}

// A suite list that claims more suites than the element holds gives no element: nothing is
// read past the element's own bytes.
TEST(SecurityElements, ATruncatedSuiteListGivesNoElement) {
  std::vector<std::uint8_t> element = RsnElement(4, {4});
  element.resize(16);  // the element ends inside its key-management list
  element[1] = 14;
  std::uint8_t out[64] = {};
  ChosenCiphers chosen;
  EXPECT_EQ(BuildStationRsnElement(element.data(), 7, 6, out, chosen), 0u);
  element = RsnElement(4, {4});
  element[8] = 2;  // two pairwise suites claimed, one present (the AKM list follows)
  element.resize(element.size() - 8);
  element[1] = static_cast<std::uint8_t>(element.size() - 2);
  EXPECT_EQ(BuildStationRsnElement(element.data(), 7, 6, out, chosen), 0u);
  // Whole, it offers PSK: 802.1X (mode 6) finds no key management, PSK (mode 7) does.
  element = RsnElement(4, {4});
  EXPECT_EQ(BuildStationRsnElement(element.data(), 6, 6, out, chosen), 0u);
  EXPECT_EQ(BuildStationRsnElement(element.data(), 7, 6, out, chosen), 24u);
}

}  // namespace
}  // namespace zelnic::core
