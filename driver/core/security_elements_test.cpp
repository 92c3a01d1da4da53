// The station's RSN and WPA elements: the pairwise cipher the encryption status asks for, and
// the group cipher never stronger than it.
#include "driver/core/security_elements.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
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

// A WPA element of the access point: OUI 00:50:F2 type 1, version 1, TKIP group and pairwise, PSK.
std::vector<std::uint8_t> WpaElement() {
  std::vector<std::uint8_t> e = {221, 0, 0x00, 0x50, 0xF2, 1, 1, 0, 0x00, 0x50, 0xF2, 2, 1, 0,
                                 0x00, 0x50, 0xF2, 2, 1, 0, 0x00, 0x50, 0xF2, 2};
  e[1] = static_cast<std::uint8_t>(e.size() - 2);
  return e;
}

// An element block: 12 fixed bytes, then the elements.
std::vector<std::uint8_t> Block(const std::vector<std::vector<std::uint8_t>>& elements) {
  std::vector<std::uint8_t> block(12);
  for (const auto& e : elements) block.insert(block.end(), e.begin(), e.end());
  return block;
}

TEST(SecurityElements, TheWpaAndRsnElementsAreExtractedIntoTheirSlots) {
  const auto rsn = RsnElement(4, {4});
  const auto wpa = WpaElement();
  auto shortRsn = rsn;  // length 18: below the shortest RSN element kept
  shortRsn.resize(20);
  shortRsn[1] = 18;
  auto rsnVersion2 = rsn;
  rsnVersion2[2] = 2;
  auto wpaType2 = wpa;
  wpaType2[5] = 2;
  const std::vector<std::uint8_t> hiddenSsid = {0, 0};
  struct Case {
    const char* name;
    std::vector<std::uint8_t> block;
    bool rsnKept;
    bool wpaKept;
  } cases[] = {
      {"both, behind a hidden network's empty SSID", Block({hiddenSsid, wpa, rsn}), true, true},
      {"an RSN element too short", Block({shortRsn}), false, false},
      {"an RSN element of another version", Block({rsnVersion2}), false, false},
      {"a vendor element of another type", Block({wpaType2}), false, false},
      {"the first of two RSN elements", Block({rsn, rsnVersion2}), true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::uint8_t wpaSlot[64];
    std::uint8_t rsnSlot[64];
    std::memset(wpaSlot, 0xEE, sizeof wpaSlot);  // whatever the last beacon left
    std::memset(rsnSlot, 0xEE, sizeof rsnSlot);
    ExtractSecurityElements(c.block.data(), static_cast<std::uint32_t>(c.block.size()), wpaSlot, rsnSlot);
    std::vector<std::uint8_t> rsnWanted(64), wpaWanted(64);
    if (c.rsnKept) std::copy(rsn.begin(), rsn.end(), rsnWanted.begin());
    if (c.wpaKept) std::copy(wpa.begin(), wpa.end(), wpaWanted.begin());
    EXPECT_EQ(std::vector<std::uint8_t>(rsnSlot, rsnSlot + 64), rsnWanted);
    EXPECT_EQ(std::vector<std::uint8_t>(wpaSlot, wpaSlot + 64), wpaWanted);
  }
}

// An element longer than its slot is cut to 64 bytes and read only within them: suites that
// lie inside still make the element, a key-management list beyond the cut gives none.
TEST(SecurityElements, AnElementLongerThanItsSlotIsReadWithinTheBytesKept) {
  const auto manyPairwise = [](std::size_t count) {
    std::vector<std::uint8_t> pairwise(count, 4);
    return RsnElement(4, pairwise);
  };
  for (const auto& [count, built] : {std::pair<std::size_t, std::uint32_t>{13, 0}, {1, 24}}) {
    auto element = manyPairwise(count);
    element.resize(element.size() + 60, 0xDD);  // a long tail: the element no longer fits
    element[1] = static_cast<std::uint8_t>(element.size() - 2);
    const auto block = Block({element});
    std::uint8_t wpaSlot[64];
    std::uint8_t rsnSlot[64];
    ExtractSecurityElements(block.data(), static_cast<std::uint32_t>(block.size()), wpaSlot, rsnSlot);
    ASSERT_TRUE(std::equal(rsnSlot, rsnSlot + 64, element.begin()));
    std::uint8_t out[64] = {};
    ChosenCiphers chosen;
    EXPECT_EQ(BuildStationRsnElement(rsnSlot, 7, 6, out, chosen), built) << count;
  }
}

// The RSN element carries the PMKIDs cached for its target, after its count.
TEST(SecurityElements, TheRsnElementCarriesTheTargetsPmkids) {
  const auto element = RsnElement(4, {4});
  TargetPmkids pmkids;
  pmkids.count = 2;
  std::memset(pmkids.pmkids[0], 0x11, 16);
  std::memset(pmkids.pmkids[1], 0x22, 16);
  std::uint8_t out[128] = {};
  ChosenCiphers chosen;
  ASSERT_EQ(BuildStationRsnElement(element.data(), 7, 6, out, chosen, pmkids), 24u + 32u);
  EXPECT_EQ(out[1], 22 + 32);
  EXPECT_EQ(out[22], 2);  // PMKID count
  EXPECT_EQ(out[23], 0);
  EXPECT_EQ(out[24], 0x11);
  EXPECT_EQ(out[24 + 16 + 15], 0x22);
}

// The RSN element of a WPA-None IBSS beacon, byte for byte.
TEST(SecurityElements, TheIbssRsnElementNamesTheConfiguredCiphersAndPsk) {
  struct Case {
    const char* name;
    IbssCiphers ciphers;
    std::vector<std::uint8_t> element;  // empty: none
  } cases[] = {
      {"CCMP", {kIbssCipherCcmp | kIbssCipherTkip, kIbssCipherCcmp},
       {48, 18, 1, 0, 0x00, 0x0F, 0xAC, 4, 1, 0, 0x00, 0x0F, 0xAC, 4, 1, 0, 0x00, 0x0F, 0xAC, 2}},
      {"TKIP group, CCMP pairwise offered", {kIbssCipherTkip, kIbssCipherCcmp | kIbssCipherTkip},
       {48, 22, 1, 0, 0x00, 0x0F, 0xAC, 2, 2, 0, 0x00, 0x0F, 0xAC, 4, 0x00, 0x0F, 0xAC, 2, 1, 0, 0x00, 0x0F, 0xAC, 2}},
      {"TKIP", {kIbssCipherTkip, kIbssCipherTkip},
       {48, 18, 1, 0, 0x00, 0x0F, 0xAC, 2, 1, 0, 0x00, 0x0F, 0xAC, 2, 1, 0, 0x00, 0x0F, 0xAC, 2}},
      {"WEP-104: use the group cipher", {kIbssCipherWep104 | kIbssCipherWep40, 0},
       {48, 18, 1, 0, 0x00, 0x0F, 0xAC, 5, 1, 0, 0x00, 0x0F, 0xAC, 0, 1, 0, 0x00, 0x0F, 0xAC, 2}},
      {"WEP-40", {kIbssCipherWep40, 0},
       {48, 18, 1, 0, 0x00, 0x0F, 0xAC, 1, 1, 0, 0x00, 0x0F, 0xAC, 0, 1, 0, 0x00, 0x0F, 0xAC, 2}},
      {"no group cipher", {0, kIbssCipherCcmp}, {}},
  };
  for (const Case& c : cases) {
    std::uint8_t out[64];
    std::fill(std::begin(out), std::end(out), 0xEE);
    const std::uint32_t length = BuildIbssRsnElement(c.ciphers, out);
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + length), c.element) << c.name;
    EXPECT_EQ(out[length], 0xEE) << c.name;  // nothing written beyond
  }
}

TEST(SecurityElements, PreauthenticationIsReadFromTheRsnCapabilities) {
  std::vector<std::uint8_t> e = RsnElement(4, {4});
  std::uint8_t slot[64] = {};
  std::copy(e.begin(), e.end(), slot);
  EXPECT_FALSE(OffersPreauthentication(slot));
  slot[e.size() - 2] = 0x01;
  EXPECT_TRUE(OffersPreauthentication(slot));
  // An element that ends before its capabilities offers nothing, whatever follows it.
  slot[1] = static_cast<std::uint8_t>(e.size() - 4);
  EXPECT_FALSE(OffersPreauthentication(slot));
  std::uint8_t empty[64] = {};
  EXPECT_FALSE(OffersPreauthentication(empty));
}

}  // namespace
}  // namespace zelnic::core
