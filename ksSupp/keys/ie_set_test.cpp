#include "ksSupp/keys/ie_set.h"

#include <gtest/gtest.h>

#include <vector>

#include "ksSupp/keys/key_test_support.h"

namespace {

std::vector<uint32_t> Suites(const dcfU32Array& list) { return {list.begin(), list.end()}; }

TEST(RsnIeElement, ParsesWhatIsThereAndDefaultsTheRest) {
  struct Case {
    const char* what;
    std::string hex;
    bool valid;
    uint32_t group;
    std::vector<uint32_t> pairwise, akm;
    uint16_t capabilities;
    uint32_t pmkids;
  };
  const Case cases[] = {
      {"version only", "30020100", true, 0x000FAC04, {0x000FAC04}, {0x000FAC01}, 0, 0},
      {"group only", "30060100000fac02", true, 0x000FAC02, {0x000FAC04}, {0x000FAC01}, 0, 0},
      {"PSK with capabilities", "30140100000fac040100000fac040100000fac020c00", true, 0x000FAC04,
       {0x000FAC04}, {0x000FAC02}, 0x000C, 0},
      {"two pairwise suites", "30180100000fac020200000fac04000fac020100000fac020000", true,
       0x000FAC02, {0x000FAC04, 0x000FAC02}, {0x000FAC02}, 0, 0},
      {"one PMKID", "30260100000fac040100000fac040100000fac010000010000112233445566778899aabbccddeeff",
       true, 0x000FAC04, {0x000FAC04}, {0x000FAC01}, 0, 1},
      {"pairwise count beyond the element", "300e0100000fac040200000fac04", false, 0, {}, {}, 0, 0},
      {"one byte of capabilities", "30130100000fac040100000fac040100000fac0201", false, 0, {}, {}, 0, 0},
      {"PMKID count beyond the element", "30160100000fac040100000fac040100000fac0100000100", false, 0,
       {}, {}, 0, 0},
      {"group suite cut short", "300401000fac", false, 0, {}, {}, 0, 0},
      {"three bytes", "300101", false, 0, {}, {}, 0, 0},
  };
  for (const Case& c : cases) {
    IeSet set;
    Bytes element = Hex(c.hex);
    set.Route(element.data(), static_cast<uint32_t>(element.size()));
    const RsnIeElement& rsn = set.Rsn();
    ASSERT_TRUE(rsn.Present()) << c.what;
    EXPECT_EQ(rsn.Valid(), c.valid) << c.what;
    EXPECT_EQ(Bytes(rsn.Bytes(), rsn.Bytes() + rsn.Length()), element) << c.what;
    if (!c.valid) continue;
    EXPECT_EQ(rsn.Version(), 1) << c.what;
    EXPECT_EQ(rsn.GroupSuite(), c.group) << c.what;
    EXPECT_EQ(Suites(rsn.PairwiseSuites()), c.pairwise) << c.what;
    EXPECT_EQ(Suites(rsn.AkmSuites()), c.akm) << c.what;
    EXPECT_EQ(rsn.Capabilities(), c.capabilities) << c.what;
    EXPECT_EQ(rsn.Pmkids().Length(), 16 * c.pmkids) << c.what;
  }
}

TEST(WpaIeElement, ParsesWithWpaDefaults) {
  IeSet set;
  Bytes element = Hex("dd160050f20101000050f20201000050f20201000050f202");
  set.Walk(element.data(), static_cast<uint32_t>(element.size()));
  ASSERT_TRUE(set.Wpa().Valid());
  EXPECT_EQ(set.Wpa().GroupSuite(), 0x0050F202u);
  EXPECT_EQ(Suites(set.Wpa().AkmSuites()), std::vector<uint32_t>{0x0050F202});

  IeSet bare;
  Bytes versionOnly = Hex("dd060050f2010100");
  bare.Walk(versionOnly.data(), static_cast<uint32_t>(versionOnly.size()));
  ASSERT_TRUE(bare.Wpa().Valid());
  EXPECT_EQ(Suites(bare.Wpa().PairwiseSuites()), std::vector<uint32_t>{0x0050F202});
  EXPECT_EQ(Suites(bare.Wpa().AkmSuites()), std::vector<uint32_t>{0x0050F201});

  IeSet cut;
  Bytes trailingByte = Hex("dd170050f20101000050f20201000050f20201000050f20201");
  cut.Walk(trailingByte.data(), static_cast<uint32_t>(trailingByte.size()));
  EXPECT_TRUE(cut.Wpa().Present());
  EXPECT_FALSE(cut.Wpa().Valid());
}

TEST(IeSet, RoutesEachKindToItsSlot) {
  // RSN, CCKM, PMKID KDE, GTK KDE (7 bytes: present, not valid), an unknown vendor element,
  // and a trailing byte that forms no element.
  Bytes run = Hex("30020100"
                  "9c06004096000102"
                  "dd14000fac04" "00112233445566778899aabbccddeeff"
                  "dd05000fac0101"
                  "dd04aabbccdd"
                  "30");
  IeSet set;
  set.Walk(run.data(), static_cast<uint32_t>(run.size()));
  EXPECT_TRUE(set.Rsn().Valid());
  EXPECT_FALSE(set.Rsn(1).Present());
  EXPECT_TRUE(set.Cckm().Valid());
  EXPECT_EQ(set.Cckm().BodyLength(), 2u);
  ASSERT_TRUE(set.PmkidKde().Valid());
  EXPECT_EQ(Bytes(set.PmkidKde().Pmkid(), set.PmkidKde().Pmkid() + 16), Hex("00112233445566778899aabbccddeeff"));
  EXPECT_TRUE(set.GtkKde().Present());
  EXPECT_FALSE(set.GtkKde().Valid());

  Bytes emptyGtk = Hex("dd06000fac010600");  // 8 bytes: valid, no key bytes
  set.Walk(emptyGtk.data(), 8);
  EXPECT_TRUE(set.GtkKde().Valid());
  EXPECT_EQ(set.GtkKde().KeyLength(), 0u);
  EXPECT_EQ(set.GtkKde().KeyIndex(), 2u);
  EXPECT_TRUE(set.GtkKde().Transmit());

  set.Clear();
  EXPECT_FALSE(set.Rsn().Present());
  EXPECT_FALSE(set.GtkKde().Present());
}

TEST(IeSet, KeepsTheFirstTwoRsnElements) {
  Bytes run = Hex("30020100" "30020200" "30020300");
  IeSet set;
  set.Walk(run.data(), static_cast<uint32_t>(run.size()));
  EXPECT_EQ(set.Rsn(0).Version(), 1);
  EXPECT_EQ(set.Rsn(1).Version(), 2);
}

TEST(IeSet, ContinuationExtendsOnlyTheFlitElementJustBefore) {
  Bytes run = Hex("dd06026d4b07aaaa"   // FLIT 7, stored without its header
                  "dd06026d4b0bbbbb"   // continuation: extends element 7
                  "dd06026d4b0bcccc"   // and again
                  "dd07026d4b02010203" // FLIT 2
                  "dd06026d4b0bdddd"); // continuation after FLIT 2: ignored
  IeSet set;
  set.Walk(run.data(), static_cast<uint32_t>(run.size()));
  const FlitElement& seven = set.Flit(7);
  EXPECT_EQ(Bytes(seven.Bytes(), seven.Bytes() + seven.Length()), Hex("026d4b07aaaabbbbcccc"));
  EXPECT_TRUE(set.Flit(2).Valid());
  EXPECT_EQ(set.Flit(2).Length(), 9u);
}

// Each FLIT kind at its least length is valid and one byte shorter is not; kinds 6 to 9 are
// stored without their header and take any length.
TEST(IeSet, EachFlitKindChecksItsOwnLeastLength) {
  struct Case {
    int kind;
    uint32_t leastLength;  // of the whole element
  };
  const Case cases[] = {{1, 11}, {2, 7}, {3, 7}, {4, 22}, {5, 30}, {10, 29}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    for (uint32_t length : {c.leastLength - 1, c.leastLength}) {
      Bytes element(length, 0x5A);
      element[0] = 0xdd;
      element[1] = static_cast<uint8_t>(length - 2);
      element[2] = 0x02, element[3] = 0x6d, element[4] = 0x4b;
      element[5] = static_cast<uint8_t>(c.kind);
      IeSet set;
      set.Walk(element.data(), length);
      EXPECT_TRUE(set.Flit(c.kind).Present());
      EXPECT_EQ(set.Flit(c.kind).Valid(), length == c.leastLength);
    }
  }
  Bytes six = Hex("dd04026d4b06");
  IeSet set;
  set.Walk(six.data(), static_cast<uint32_t>(six.size()));
  EXPECT_TRUE(set.Flit(6).Valid());
  EXPECT_EQ(set.Flit(6).Length(), 4u);
}

}  // namespace
