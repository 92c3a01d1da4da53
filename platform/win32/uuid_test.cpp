#include "platform/win32/uuid.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace plat {
namespace {

TEST(Uuid, CarriesVersion4AndTheRfc4122Variant) {
  std::set<std::string> seen;
  for (int i = 0; i < 64; ++i) {
    Guid g{};
    ASSERT_TRUE(UuidCreate(g));
    EXPECT_EQ(g.data3 >> 12, 4);
    EXPECT_EQ(g.data4[0] >> 6, 2);
    seen.emplace(reinterpret_cast<const char*>(&g), sizeof g);
  }
  EXPECT_EQ(seen.size(), 64u);  // 122 random bits: a repeat means no randomness
}

TEST(Uuid, TheOtherBitsVary) {
  // Over many UUIDs every bit outside version and variant is seen both set and clear, which
  // a time- or counter-based generator would not give.
  std::uint8_t ones[16] = {}, zeros[16] = {};
  for (int i = 0; i < 200; ++i) {
    Guid g{};
    ASSERT_TRUE(UuidCreate(g));
    std::uint8_t bytes[16];
    std::memcpy(bytes, &g, 16);
    for (int b = 0; b < 16; ++b) {
      ones[b] |= bytes[b];
      zeros[b] |= static_cast<std::uint8_t>(~bytes[b]);
    }
  }
  Guid fixedMask{};
  fixedMask.data3 = 0xF000;
  fixedMask.data4[0] = 0xC0;
  std::uint8_t fixed[16];
  std::memcpy(fixed, &fixedMask, 16);
  for (int b = 0; b < 16; ++b) {
    EXPECT_EQ(static_cast<std::uint8_t>(ones[b] | fixed[b]), 0xFF) << "byte " << b;
    EXPECT_EQ(static_cast<std::uint8_t>(zeros[b] | fixed[b]), 0xFF) << "byte " << b;
  }
}

TEST(Uuid, StrongRandomFillsLongBuffers) {
  std::uint8_t buffer[4096] = {};
  ASSERT_TRUE(GetStrongRandom(buffer, sizeof buffer));
  int zeroBytes = 0;
  for (std::uint8_t b : buffer) zeroBytes += b == 0;
  EXPECT_LT(zeroBytes, 64);  // about 16 expected
  EXPECT_TRUE(GetStrongRandom(buffer, 0));
}

}  // namespace
}  // namespace plat
