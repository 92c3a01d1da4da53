// The access point's CKIP on its own: key records, the sealed body, the CKIP header and its
// CMIC. Whether it agrees with the station's CKIP is for the on-air tests (no public vectors).
#include "sim/air/ckip_protection.h"

#include <gtest/gtest.h>

namespace simair {
namespace {

const MacAddress kDestination{0x02, 0x11, 0x22, 0x33, 0x44, 0x55}, kSource{0x00, 0x1E, 0x4D, 0x2D, 0x17, 0x01};

CkipKey FiveByteKey() {
  const std::uint8_t key[5] = {0x10, 0x21, 0x32, 0x43, 0x54};
  return CkipKeyOf(key);
}

dot11::Bytes Rfc1042Body(std::uint16_t type, std::size_t payload) {
  dot11::Bytes body{0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, static_cast<std::uint8_t>(type >> 8),
                    static_cast<std::uint8_t>(type)};
  for (std::size_t i = 0; i < payload; ++i) body.push_back(static_cast<std::uint8_t>(i * 13 + 1));
  return body;
}

TEST(AccessPointCkip, AShortKeyRepeatsToSixteenBytesAndThePermutedKeyStartsWithTheIv) {
  const CkipKey key = FiveByteKey();
  EXPECT_EQ(key, (CkipKey{0x10, 0x21, 0x32, 0x43, 0x54, 0x10, 0x21, 0x32, 0x43, 0x54, 0x10, 0x21, 0x32, 0x43, 0x54,
                          0x10}));
  const std::uint8_t zero[3] = {0, 0, 0}, iv[3] = {0x12, 0x34, 0x56};
  const auto permuted = CkipKeyPermute(key, 1, std::span<const std::uint8_t, 3>(zero));
  EXPECT_EQ(permuted[0] | permuted[1] | permuted[2], 0);
  const auto other = CkipKeyPermute(key, 1, std::span<const std::uint8_t, 3>(iv));
  EXPECT_EQ(other[0], 0x12);
  EXPECT_EQ(other[2], 0x56);
  // Every frame its own key: another IV or direction changes the rest of it.
  EXPECT_NE(std::vector(permuted.begin() + 3, permuted.end()), std::vector(other.begin() + 3, other.end()));
  const auto fromDs = CkipKeyPermute(key, 2, std::span<const std::uint8_t, 3>(zero));
  EXPECT_NE(std::vector(permuted.begin() + 3, permuted.end()), std::vector(fromDs.begin() + 3, fromDs.end()));
}

TEST(AccessPointCkip, ASealedBodyOpensOnlyInItsDirectionAndWhole) {
  const CkipKey key = FiveByteKey();
  const dot11::Bytes plain = Rfc1042Body(0x0800, 60);
  const dot11::Bytes body = CkipSeal(key, 1, 0x000102, 2, plain);
  ASSERT_EQ(body.size(), plain.size() + 8);
  EXPECT_EQ(body[3], 2 << 6);
  EXPECT_EQ(CkipOpen(key, 1, body), plain);
  EXPECT_FALSE(CkipOpen(key, 2, body));
  dot11::Bytes flipped = body;
  flipped[20] ^= 0x01;
  EXPECT_FALSE(CkipOpen(key, 1, flipped));  // the ICV
  EXPECT_FALSE(CkipOpen(key, 1, std::span(body).first(7)));
}

TEST(AccessPointCkip, TheCkipHeaderCarriesTheCmicThatAnyChangeBreaks) {
  const CkipKey key = FiveByteKey();
  const dot11::Bytes plain = Rfc1042Body(0x0800, 45);  // not a whole number of words
  dot11::Bytes body = plain;
  ASSERT_TRUE(AddCkipHeader(key, kDestination, kSource, 6, body));
  ASSERT_EQ(body.size(), plain.size() + 10);
  EXPECT_EQ(dot11::Bytes(body.begin(), body.begin() + 8), (dot11::Bytes{0xAA, 0xAA, 0x03, 0x00, 0x40, 0x96, 0x00, 0x02}));
  EXPECT_EQ(dot11::Bytes(body.begin() + 12, body.begin() + 16), (dot11::Bytes{0, 0, 0, 6}));  // SEQ, big-endian
  const auto cmic = Cmic(key, kDestination, kSource, 6, std::span(plain).subspan(6));
  EXPECT_EQ(dot11::Bytes(body.begin() + 8, body.begin() + 12), dot11::Bytes(cmic.begin(), cmic.end()));
  EXPECT_EQ(RemoveCkipHeader(key, kDestination, kSource, body), plain);

  struct Change {
    const char* what;
    std::size_t at;
  } changes[] = {{"CMIC", 9}, {"SEQ", 15}, {"EtherType", 16}, {"last payload byte", 54}};
  for (const Change& c : changes) {
    dot11::Bytes changed = body;
    changed[c.at] ^= 0x80;
    EXPECT_FALSE(RemoveCkipHeader(key, kDestination, kSource, changed)) << c.what;
  }
  EXPECT_FALSE(RemoveCkipHeader(key, kSource, kSource, body)) << "another destination";
  EXPECT_FALSE(RemoveCkipHeader(CkipKeyOf(std::vector<std::uint8_t>(13, 7)), kDestination, kSource, body));
  EXPECT_FALSE(RemoveCkipHeader(key, kDestination, kSource, std::span(body).first(17))) << "no EtherType";
}

TEST(AccessPointCkip, LengthFramesAndEapolKeepTheirFormAndPassTheCheckUnchanged) {
  const CkipKey key = FiveByteKey();
  for (dot11::Bytes body : {Rfc1042Body(0x888E, 20), dot11::Bytes{0xE0, 0xE0, 0x03, 1, 2, 3}}) {
    const dot11::Bytes before = body;
    EXPECT_FALSE(AddCkipHeader(key, kDestination, kSource, 0, body));
    EXPECT_EQ(body, before);
    EXPECT_EQ(RemoveCkipHeader(key, kDestination, kSource, body), before);
  }
}

}  // namespace
}  // namespace simair
