// Michael and TKIP key mixing against the IEEE 802.11 annex vectors.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "dcf1/src/crypto/crypto_test_support.h"
#include "driver/core/michael.h"
#include "driver/core/tkip_key_mixing.h"

using namespace zelnic::core;
using crypto_test::FromHex;
using crypto_test::Hex;

namespace {

TEST(Michael, FollowsTheAnnexChainWhereEachMicKeysTheNext) {
  std::uint8_t key[8] = {};
  for (const auto& step : crypto_test::kMichaelAnnexChain) {
    std::uint8_t mic[8];
    Michael michael(key);
    michael.Update(reinterpret_cast<const std::uint8_t*>(step.message),
                   static_cast<std::uint32_t>(std::strlen(step.message)));
    michael.Final(mic);
    ASSERT_EQ(Hex(mic, 8), step.mic) << step.message;
    std::memcpy(key, mic, 8);
  }
}

TEST(Michael, GivesTheSameMicHoweverTheMessageIsSplit) {
  const std::uint8_t key[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  std::vector<std::uint8_t> message(37);
  for (std::size_t i = 0; i < message.size(); ++i) message[i] = static_cast<std::uint8_t>(i * 7 + 1);
  std::uint8_t whole[8];
  Michael one(key);
  one.Update(message.data(), 37);
  one.Final(whole);
  for (std::uint32_t cut1 : {0u, 1u, 3u, 5u}) {
    for (std::uint32_t cut2 : {cut1, cut1 + 2, 20u}) {
      Michael split(key);
      split.Update(message.data(), cut1);
      split.Update(message.data() + cut1, cut2 - cut1);
      split.Update(message.data() + cut2, 37 - cut2);
      std::uint8_t mic[8];
      split.Final(mic);
      EXPECT_EQ(Hex(mic, 8), Hex(whole, 8)) << cut1 << "/" << cut2;
    }
  }
  // The MSDU form puts DA, SA, priority and three zeros before the data.
  const std::uint8_t da[6] = {1, 1, 1, 1, 1, 1}, sa[6] = {2, 2, 2, 2, 2, 2};
  std::vector<std::uint8_t> prefixed = {1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 5, 0, 0, 0};
  prefixed.insert(prefixed.end(), message.begin(), message.end());
  Michael direct(key);
  direct.Update(prefixed.data(), static_cast<std::uint32_t>(prefixed.size()));
  std::uint8_t expected[8], mic[8];
  direct.Final(expected);
  MichaelMic(key, da, sa, 5, message.data(), 37, mic);
  EXPECT_EQ(Hex(mic, 8), Hex(expected, 8));
}

TEST(TkipKeyMixing, MatchesTheAnnexPhase1AndPhase2Vectors) {
  const std::vector<std::uint8_t> tk = FromHex("000102030405060708090a0b0c0d0e0f");
  const std::uint8_t ta[6] = {0x10, 0x22, 0x33, 0x44, 0x55, 0x66};
  TkipPhase1Key p1k{};
  TkipPhase1(tk.data(), ta, 0, p1k);
  const std::uint16_t kP1k[5] = {0x3DD2, 0x016E, 0x76F4, 0x8697, 0xB2E8};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(p1k.ttak[i], kP1k[i]) << i;

  struct Case {
    std::uint16_t iv16;
    const char* rc4Key;
  };
  const Case kCases[] = {{0, "00200033ea8d2f60ca6d1374234a660b"}, {1, "00200190ffdc314389a9d9d074fd20aa"}};
  for (const Case& c : kCases) {
    std::uint8_t rc4Key[16];
    TkipPhase2(tk.data(), p1k, c.iv16, rc4Key);
    EXPECT_EQ(Hex(rc4Key, 16), c.rc4Key) << c.iv16;
  }
}

}  // namespace
