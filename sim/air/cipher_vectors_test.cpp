// The access point's ciphers against the IEEE 802.11 examples and known vectors: the same
// rows the station's ciphers are held to, computed here by an independent implementation.
#include <gtest/gtest.h>

#include <string>

#include "dcf1/src/crypto/crypto_test_support.h"
#include "sim/air/ccmp_protection.h"
#include "sim/air/michael_mic.h"
#include "sim/air/tkip_protection.h"
#include "sim/air/wep_protection.h"

namespace simair {
namespace {

using crypto_test::FromHex;
using crypto_test::Hex;

std::string Hex16(const std::array<std::uint16_t, 5>& words) {
  std::string out;
  char text[5];
  for (std::uint16_t w : words) {
    std::snprintf(text, sizeof text, "%04X", w);
    out += text;
  }
  return out;
}

TEST(AccessPointCiphers, Crc32OfTheCheckString) {
  const std::string check = "123456789";
  EXPECT_EQ(Crc32({reinterpret_cast<const std::uint8_t*>(check.data()), check.size()}), 0xCBF43926u);
}

TEST(AccessPointCiphers, MichaelFollowsTheAnnexChain) {
  std::array<std::uint8_t, 8> key{};
  for (const auto& step : crypto_test::kMichaelAnnexChain) {
    const std::string m = step.message;
    key = MichaelOf(key, {reinterpret_cast<const std::uint8_t*>(m.data()), m.size()});
    EXPECT_EQ(Hex(key.data(), key.size()), step.mic) << '"' << m << '"';
  }
}

TEST(AccessPointCiphers, TkipKeyMixingMatchesKnownVectors) {
  const auto tk = FromHex("000102030405060708090a0b0c0d0e0f");
  const MacAddress ta{0x10, 0x22, 0x33, 0x44, 0x55, 0x66};
  const auto p1k = TkipPhase1(std::span<const std::uint8_t, 16>(tk.data(), 16), ta, 0);
  EXPECT_EQ(Hex16(p1k), "3DD2016E76F48697B2E8");
  struct Row {
    std::uint16_t iv16;
    const char* rc4Key;
  };
  for (const Row& row : {Row{0, "00200033ea8d2f60ca6d1374234a660b"}, Row{1, "00200190ffdc314389a9d9d074fd20aa"}}) {
    const auto key = TkipPhase2(std::span<const std::uint8_t, 16>(tk.data(), 16), p1k, row.iv16);
    EXPECT_EQ(Hex(key.data(), key.size()), row.rc4Key) << row.iv16;
  }
}

// The IEEE 802.11 TKIP MPDU example: Michael of its MSDU, its Extended IV header, and the
// frame decrypting to what was sealed.
TEST(AccessPointCiphers, TkipMpduExample) {
  const auto tk = FromHex("1234567890123456789012345678901234567890123456789012345678901234");
  const auto plain = FromHex(
      "aaaa030000000800" "4500005400004000" "4001a555c0a80a02" "c0a80a0108003ab0" "00000000cd4c0500"
      "0000000008090a0b" "0c0d0e0f10111213" "1415161718191a1b" "1c1d1e1f20212223" "2425262728292a2b"
      "2c2d2e2f30313233" "34353637");
  const MacAddress da{0x02, 0x03, 0x04, 0x05, 0x06, 0x08}, sa{0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
  // From the distribution system: the authenticator's transmit Michael key, TK bytes 16..23.
  const auto mic = MsduMichael(std::span<const std::uint8_t, 8>(tk.data() + 16, 8), da, sa, 0, plain);
  EXPECT_EQ(Hex(mic.data(), mic.size()), "6881a3f3d648d03c");

  std::vector<std::uint8_t> msdu = plain;
  msdu.insert(msdu.end(), mic.begin(), mic.end());
  const TemporalKey temporal(tk.data(), 16);
  const MacAddress transmitter{0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
  const auto body = TkipSeal(temporal, transmitter, 1, 0, msdu);
  EXPECT_EQ(Hex(body.data(), 8), "0020012000000000");
  Refusal why = Refusal::None;
  const auto opened = TkipOpen(temporal, transmitter, std::nullopt, body, why);
  ASSERT_TRUE(opened) << RefusalName(why);
  EXPECT_EQ(opened->plain, msdu);
  EXPECT_EQ(opened->tsc, 1u);
}

TEST(AccessPointCiphers, CcmpMpduExample) {
  const auto key = FromHex("c97c1f67ce371185514a8a19f2bdd52f");
  const auto header = FromHex("0848c32c0fd2e128a57c5030f1844408abaea5b8fcba8033");
  const auto plain = FromHex("f8ba1a55d02f85ae967bb62fb6cda8eb7e78a050");
  const CcmpKey k(key.data(), 16);
  const auto body = CcmpSeal(k, header, 0xB5039776E70Cull, 0, plain);
  EXPECT_EQ(Hex(body), "0ce70020769703b5f3d0a2fe9a3dbf2342a643e43246e80c3c04d0197845ce0b16f97623");
  Refusal why = Refusal::None;
  const auto opened = CcmpOpen(k, header, std::nullopt, body, why);
  ASSERT_TRUE(opened) << RefusalName(why);
  EXPECT_EQ(opened->plain, plain);
  EXPECT_EQ(opened->pn, 0xB5039776E70Cull);
}

TEST(AccessPointCiphers, WepExample) {
  const auto key = FromHex("0102030405");
  const auto plain = FromHex("aaaa0300000008006865 6c6c6f");
  const auto body = WepSeal(key, 0x010203, 0, plain);
  EXPECT_EQ(Hex(body), "01020300ecf1a1a154b492a35af1af53d8bc658baf");
  EXPECT_EQ(WepOpen(key, body), plain);
}

// Each receive refusal, in the order the checks run.
TEST(AccessPointCiphers, RefusesShortReplayedAndTamperedBodies) {
  const auto key = FromHex("c97c1f67ce371185514a8a19f2bdd52f");
  const auto header = FromHex("0841c32c0fd2e128a57c5030f1844408abaea5b8fcba8033");
  const auto plain = FromHex("aaaa030000000800deadbeef");
  const CcmpKey ccmp(key.data(), 16);
  const TemporalKey tkip(key.data(), 16);
  const MacAddress ta{0x50, 0x30, 0xf1, 0x84, 0x44, 0x08};
  const auto ccmpBody = CcmpSeal(ccmp, header, 0x1000000005ull, 1, plain);
  const auto tkipBody = TkipSeal(tkip, ta, 0x1000000005ull, 1, plain);

  struct Case {
    const char* name;
    std::vector<std::uint8_t> (*mutate)(std::vector<std::uint8_t>);
    std::optional<std::uint64_t> last;
    Refusal expected;
  };
  const Case kCases[] = {
      {"short", [](std::vector<std::uint8_t> b) { b.resize(11); return b; }, std::nullopt, Refusal::TooShort},
      {"no extended IV", [](std::vector<std::uint8_t> b) { b[3] &= 0xDF; return b; }, std::nullopt, Refusal::NoExtendedIv},
      {"replayed", [](std::vector<std::uint8_t> b) { return b; }, 0x1000000005ull, Refusal::Replay},
      // Only the top byte of the 48-bit counter differs from the last one seen.
      {"older by the top byte", [](std::vector<std::uint8_t> b) { return b; }, 0x2000000000ull, Refusal::Replay},
      {"flipped bit", [](std::vector<std::uint8_t> b) { b[10] ^= 1; return b; }, std::nullopt, Refusal::Integrity},
  };
  for (const Case& c : kCases) {
    Refusal why = Refusal::None;
    EXPECT_FALSE(CcmpOpen(ccmp, header, c.last, c.mutate(ccmpBody), why)) << c.name;
    EXPECT_EQ(why, c.expected) << "CCMP " << c.name;
    EXPECT_FALSE(TkipOpen(tkip, ta, c.last, c.mutate(tkipBody), why)) << c.name;
    EXPECT_EQ(why, c.expected) << "TKIP " << c.name;
  }
  auto wep = WepSeal(key, 7, 0, plain);
  wep.back() ^= 1;
  EXPECT_FALSE(WepOpen(std::span(key).first(13), wep));
  EXPECT_FALSE(WepOpen(std::span(key).first(13), std::span(wep).first(7)));
}

}  // namespace
}  // namespace simair
