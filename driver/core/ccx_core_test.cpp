// The CCKM AKM in the station's own WPA and RSN elements: it takes the place of the AKM
// suite, whatever follows it (an RSN element's capabilities and PMKIDs stay as they were).
#include "driver/core/ccx_core.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "driver/core/security_elements.h"

namespace zelnic::core {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kCckmAkm = {0x00, 0x40, 0x96, 0x00};

// A BSS element (as its slot holds it) with 802.1X, and where the AKM suite of the station's
// element for it lies.
struct ElementCase {
  const char* name;
  Bytes bss;
  bool rsn;
  std::size_t akmAt;
};

TEST(CcxUseCckmAkm, ReplacesTheAkmSuiteOfTheStationsElement) {
  TargetPmkids pmkids;
  pmkids.count = 1;
  for (std::uint8_t i = 0; i < 16; ++i) pmkids.pmkids[0][i] = static_cast<std::uint8_t>(0xA0 + i);
  const ElementCase cases[] = {
      {"WPA", {221, 22, 0x00, 0x50, 0xF2, 0x01, 1, 0, 0x00, 0x50, 0xF2, 2, 1, 0, 0x00, 0x50, 0xF2, 2, 1, 0,
               0x00, 0x50, 0xF2, 1},
       false, 20},
      {"RSN with a PMKID", {48, 20, 1, 0, 0x00, 0x0F, 0xAC, 4, 1, 0, 0x00, 0x0F, 0xAC, 4, 1, 0, 0x00, 0x0F, 0xAC, 1, 0, 0},
       true, 16},
  };
  for (const ElementCase& c : cases) {
    std::uint8_t slot[64] = {};
    std::copy(c.bss.begin(), c.bss.end(), slot);
    std::uint8_t built[128] = {};
    ChosenCiphers chosen;
    const std::uint32_t length = c.rsn ? BuildStationRsnElement(slot, 6, 6, built, chosen, pmkids)
                                       : BuildStationWpaElement(slot, 3, 4, built, chosen);
    ASSERT_GE(length, c.akmAt + 4) << c.name;
    Bytes expected(built, built + length);
    std::copy(kCckmAkm.begin(), kCckmAkm.end(), expected.begin() + static_cast<std::ptrdiff_t>(c.akmAt));
    EXPECT_TRUE(CcxUseCckmAkm(built, length)) << c.name;
    EXPECT_EQ(Bytes(built, built + length), expected) << c.name;
  }
}

TEST(CcxUseCckmAkm, AnElementThatEndsBeforeItsAkmSuiteIsLeftAlone) {
  const Bytes cut[] = {
      {221, 18, 0x00, 0x50, 0xF2, 0x01, 1, 0, 0x00, 0x50, 0xF2, 2, 1, 0, 0x00, 0x50, 0xF2, 2, 1, 0},  // count, no suite
      {48, 12, 1, 0, 0x00, 0x0F, 0xAC, 4, 1, 0, 0x00, 0x0F, 0xAC},                                    // in the pairwise list
      {48, 0},
      {1, 4, 0x82, 0x84, 0x8B, 0x96},  // not a security element
  };
  for (const Bytes& element : cut) {
    Bytes copy = element;
    EXPECT_FALSE(CcxUseCckmAkm(copy.data(), static_cast<std::uint32_t>(copy.size())));
    EXPECT_EQ(copy, element);
  }
}

}  // namespace
}  // namespace zelnic::core
