#include "driver/core/swiftbond_keys.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace zelnic::core {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(SwiftBondKeys, Rc4MatchesTheKnownVector) {
  std::uint8_t text[9];
  std::memcpy(text, "Plaintext", 9);
  SbRc4(reinterpret_cast<const std::uint8_t*>("Key"), 3, text, sizeof text);
  EXPECT_EQ(Bytes(text, text + 9), (Bytes{0xBB, 0xF3, 0x16, 0xE8, 0xD9, 0x40, 0xAF, 0x0A, 0xD3}));
}

// The seed a pass phrase folds to, read back from the first LCG step.
std::uint32_t FirstLcgByte(const std::string& passphrase) {
  std::uint8_t field[32] = {};
  std::memcpy(field, passphrase.data(), passphrase.size());
  std::uint8_t keys[20];
  PassphraseToWep40Keys(field, sizeof field, keys);
  return keys[0];
}

TEST(SwiftBondKeys, Wep40SeedFoldsThePassphrase) {
  auto expected = [](std::uint32_t seed) { return ((seed * 214013u + 2531011u) >> 16) & 0xFF; };
  struct Case {
    const char* passphrase;
    std::uint32_t seed;
  } cases[] = {
      {"ab", 0x6261},                           // upper seed bytes stay 0
      {"abcd", 0x64636261},
      {"abcde", 0x64636261u ^ 'e'},             // the fifth byte folds onto the first
      {"", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(FirstLcgByte(c.passphrase), expected(c.seed)) << c.passphrase;
}

TEST(SwiftBondKeys, Wep40KeysFollowTheGenerator) {
  std::uint8_t field[32] = {'k', 'e', 'y'};
  std::uint8_t keys[20];
  PassphraseToWep40Keys(field, sizeof field, keys);
  std::uint32_t x = 'k' | 'e' << 8 | 'y' << 16;
  for (int i = 0; i < 20; ++i) {
    x = x * 214013u + 2531011u;
    EXPECT_EQ(keys[i], (x >> 16) & 0xFF) << i;
  }
}

TEST(SwiftBondKeys, AFieldWithoutTerminatorIsReadToItsEndOnly) {
  std::uint8_t field[40];
  std::memset(field, 'x', sizeof field);
  EXPECT_EQ(PassphraseLength(field, 32), 32u);
  std::uint8_t a[16];
  std::uint8_t b[16];
  ASSERT_TRUE(PassphraseToWep104Key(field, 32, a));
  field[35] = 'y';  // beyond the field: no influence
  ASSERT_TRUE(PassphraseToWep104Key(field, 32, b));
  EXPECT_EQ(Bytes(a, a + 16), Bytes(b, b + 16));
  const std::uint8_t empty[32] = {};
  EXPECT_FALSE(PassphraseToWep104Key(empty, sizeof empty, a));
}

TEST(SwiftBondKeys, TheRc4KeyDependsOnBothAddressesAndTheMask) {
  const std::uint8_t bssid[6] = {0x02, 0x5A, 0x9C, 0, 0, 1};
  const std::uint8_t station[6] = {0x02, 0, 0, 0, 0, 2};
  std::uint8_t k1[16];
  std::uint8_t k2[16];
  SwiftBondDeriveRc4Key(k1, bssid, station);
  SwiftBondDeriveRc4Key(k2, station, bssid);
  EXPECT_EQ(Bytes(k1, k1 + 16), Bytes(k2, k2 + 16));  // XOR is symmetric in the two addresses
  SwiftBondDeriveRc4Key(k2, bssid, bssid);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(k2[i], kSwiftBondMask[i]);  // equal halves cancel: only the mask is left
}

}  // namespace
}  // namespace zelnic::core
