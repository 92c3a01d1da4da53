#include <dcf/dcfBytes.h>
#include <strings/SecureCString.h>
#include <strings/dcfString.h>

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(String, ConstructionForms) {
  EXPECT_STREQ(dcfString(nullptr).CStr(), "");
  EXPECT_STREQ(dcfString("abc", 0).CStr(), "");
  const dcfString cut("abcdef", 3);
  EXPECT_STREQ(cut.CStr(), "abc");
  EXPECT_EQ(cut.Length(), 3u);
  EXPECT_EQ(cut.Capacity(), 3u);
  const dcfString whole("abcdef");
  EXPECT_EQ(whole.Length(), 6u);
  const dcfString empty;
  EXPECT_NE(empty.CStr(), nullptr);
}

TEST(String, AssignAppendReserveFree) {
  dcfString s("user");
  s.Append("@realm");
  EXPECT_STREQ(s.CStr(), "user@realm");
  s.Append(s.CStr(), 4);  // from itself, through a reallocation
  EXPECT_STREQ(s.CStr(), "user@realmuser");
  s.Assign(s.CStr() + 5, 5);  // from itself
  EXPECT_STREQ(s.CStr(), "realm");
  s.Reserve(64);
  EXPECT_EQ(s.Capacity(), 64u);
  EXPECT_STREQ(s.CStr(), "realm");
  s.Reserve(2);  // never below the length
  EXPECT_STREQ(s.CStr(), "realm");
  dcfString copy(s);
  s.Free();
  EXPECT_STREQ(s.CStr(), "");
  EXPECT_EQ(s.Capacity(), 0u);
  EXPECT_STREQ(copy.CStr(), "realm");
  s.Assign(nullptr);
  EXPECT_STREQ(s.CStr(), "");
}

TEST(SecureCString, AssignCopiesAndNullSourceLeavesNull) {
  SecureCString password;
  password.Assign("hunter2", 7);
  EXPECT_STREQ(password.Get(), "hunter2");
  password.Assign("x\0yz", 4);
  EXPECT_EQ(std::string(password.Get(), 4), std::string("x\0yz", 4));
  password.Assign(nullptr, 5);
  EXPECT_EQ(password.Get(), nullptr);
  password.Free();  // already null: nothing to do
}

TEST(Bytes, BigEndianReadsAndSwaps) {
  const std::uint8_t field[] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
  std::uint32_t value = 0;
  EXPECT_TRUE(ReadBigEndian32(field, 4, value));
  EXPECT_EQ(value, 0x12345678u);
  EXPECT_FALSE(ReadBigEndian32(field, 3, value));
  EXPECT_EQ(value, 0x12345678u);  // untouched
  EXPECT_EQ(ByteSwapCopy32(field + 4, value), 0x9ABCDEF0u);
  EXPECT_EQ(ReadBigEndian16(field + 1), 0x3456);
  std::uint16_t out16 = 0;
  EXPECT_EQ(ReadBigEndian16(field, out16), 0x1234);
  EXPECT_EQ(out16, 0x1234);

  std::uint8_t swapped[8];
  ByteSwap64(field, swapped);
  EXPECT_EQ(swapped[0], 0xF0);
  EXPECT_EQ(swapped[7], 0x12);
  const std::uint64_t counter = 0x0102030405060708ull;
  std::uint8_t onAir[8];
  ByteSwap64(&counter, onAir);  // little-endian host: big-endian bytes
  EXPECT_EQ(onAir[0], 0x01);
  EXPECT_EQ(onAir[7], 0x08);
  EXPECT_EQ(MakeU64(0x89ABCDEF, 0x01234567), 0x0123456789ABCDEFull);
}

struct HexCase {
  const char* text;
  std::uint32_t max;
  std::uint32_t count;
  std::uint32_t stoppedAt;  // characters read
};

TEST(Bytes, HexToBytesTable) {
  const HexCase cases[] = {
      {"0aFfzz", 8, 2, 4},  // stops before the first pair with a non-hex character
      {"0aFfzz", 1, 1, 2},  // or after max bytes
      {"0a1", 8, 1, 2},     // a lone digit before the NUL is not a pair
      {"a0Z0", 8, 1, 2},
      {"", 8, 0, 0},
      {"00ff", 0, 0, 0},
  };
  for (const HexCase& c : cases) {
    std::uint8_t out[8] = {};
    const char* end = nullptr;
    EXPECT_EQ(HexToBytes(out, c.max, c.text, &end), c.count) << c.text << " max " << c.max;
    EXPECT_EQ(end - c.text, c.stoppedAt) << c.text;
    EXPECT_EQ(HexToBytes(nullptr, c.max, c.text), c.count) << "counting only";
  }
  std::uint8_t out[2] = {};
  HexToBytes(out, 2, "0aFf");
  EXPECT_EQ(out[0], 0x0A);
  EXPECT_EQ(out[1], 0xFF);
}

TEST(Bytes, FindU32) {
  const std::uint32_t types[] = {13, 21, 25, 21};
  EXPECT_EQ(FindU32(types, types + 4, 21), types + 1);
  EXPECT_EQ(FindUInt32(types, types + 4, 4), types + 4);
  EXPECT_EQ(FindU32(types, types, 13), types);
}

}  // namespace
