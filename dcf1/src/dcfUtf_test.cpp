#include <collections/dcfByteArray.h>
#include <collections/dcfWideArray.h>
#include <strings/dcfUtf.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Units = std::vector<char16_t>;

// UTF-16 (NUL-terminated) -> dcfByteArray::AssignUtf8.
struct ToUtf8Case {
  const char* name;
  Units input;  // without the terminator
  Bytes expected;  // with the NUL
};

void PrintTo(const ToUtf8Case& c, std::ostream* os) { *os << c.name; }

class ToUtf8 : public ::testing::TestWithParam<ToUtf8Case> {};

TEST_P(ToUtf8, StopsWhereItMust) {
  Units text = GetParam().input;
  text.push_back(0);
  dcfByteArray bytes;
  bytes.AppendString("previous contents");
  bytes.AssignUtf8(text.data());
  EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ToUtf8,
    ::testing::Values(
        ToUtf8Case{"Empty", {}, {0x00}},
        ToUtf8Case{"PairBetweenAscii", {0x41, 0xD83D, 0xDE00, 0x42},
                   {0x41, 0xF0, 0x9F, 0x98, 0x80, 0x42, 0x00}},
        ToUtf8Case{"LoneLowStops", {0x41, 0xDC00, 0x42}, {0x41, 0x00}},
        ToUtf8Case{"HighWithoutLowStops", {0x41, 0xD800, 0x42}, {0x41, 0x00}},
        ToUtf8Case{"HighAtTheEndStops", {0x41, 0xDBFF}, {0x41, 0x00}},
        ToUtf8Case{"ThreeBytes", {0xFF21}, {0xEF, 0xBC, 0xA1, 0x00}},
        ToUtf8Case{"TwoBytes", {0x00E9, 0x07FF}, {0xC3, 0xA9, 0xDF, 0xBF, 0x00}},
        ToUtf8Case{"HighestCodePoint", {0xDBFF, 0xDFFF}, {0xF4, 0x8F, 0xBF, 0xBF, 0x00}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ToUtf8, NullTextGivesTheNulAlone) {
  dcfByteArray bytes;
  bytes.AssignUtf8(nullptr);
  EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), Bytes{0x00});
}

TEST(ToUtf8, ReportsFullOutput) {
  std::uint8_t out[4];
  std::uint32_t written = 99;
  const char16_t text[] = {u'a', 0x20AC};  // the euro sign needs three bytes
  EXPECT_EQ(Utf16ToUtf8(out, 3, &written, text, 2), kUtfOutputFull);
  EXPECT_EQ(written, 1u);
}

// UTF-8 -> UTF-16 through Utf8ToUtf16 (counted or terminated input).
struct ToUtf16Case {
  const char* name;
  std::string input;
  std::int32_t inLength;  // negative: terminated
  std::uint32_t capacity;
  std::uint32_t flags;
  Units expected;  // what was written, terminator included when terminated
  std::uint32_t consumed;
};

void PrintTo(const ToUtf16Case& c, std::ostream* os) { *os << c.name; }

class ToUtf16 : public ::testing::TestWithParam<ToUtf16Case> {};

TEST_P(ToUtf16, FlagsOutputAndConsumption) {
  const ToUtf16Case& c = GetParam();
  std::vector<char16_t> out(c.capacity + 1, 0x7777);
  std::uint32_t written = 99, consumed = 99;
  EXPECT_EQ(Utf8ToUtf16(out.data(), c.capacity, &written, c.input.c_str(), c.inLength, &consumed),
            c.flags);
  EXPECT_EQ(Units(out.begin(), out.begin() + written), c.expected);
  EXPECT_EQ(out[c.capacity], 0x7777);  // never past the capacity
  EXPECT_EQ(consumed, c.consumed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ToUtf16,
    ::testing::Values(
        ToUtf16Case{"TerminatedAscii", "ab", -1, 8, 0, {u'a', u'b', 0}, 3},
        ToUtf16Case{"CountedKeepsNul", std::string("a\0b", 3), 3, 8, 0, {u'a', 0, u'b'}, 3},
        ToUtf16Case{"FourBytesAsPair", "\xF0\x9F\x98\x80", -1, 8, 0, {0xD83D, 0xDE00, 0}, 5},
        ToUtf16Case{"OverlongNulInvalid", "x\xC0\x80y", -1, 8, kUtfInvalidInput, {u'x', 0}, 1},
        ToUtf16Case{"OverlongThreeBytes", "\xE0\x80\xAF", 3, 8, kUtfInvalidInput, {}, 0},
        ToUtf16Case{"AboveUnicodeReplaced", "\xF4\x90\x80\x80", -1, 8, kUtfReplaced,
                    {0xFFFD, 0}, 5},
        ToUtf16Case{"FiveByteFormReplaced", "\xF8\x88\x80\x80\x80", 5, 8, kUtfReplaced,
                    {0xFFFD}, 5},
        ToUtf16Case{"StrayContinuation", "a\x80", 2, 8, kUtfInvalidInput, {u'a'}, 1},
        ToUtf16Case{"LeadFe", "\xFE", 1, 8, kUtfInvalidInput, {}, 0},
        ToUtf16Case{"CutShortCounted", "a\xE2\x82", 3, 8, kUtfInvalidInput, {u'a'}, 1},
        ToUtf16Case{"CutShortByNul", "a\xE2\x82", -1, 8, kUtfInvalidInput, {u'a', 0}, 1},
        ToUtf16Case{"PairNeedsTwoUnits", "a\xF0\x9F\x98\x80", -1, 3, kUtfOutputFull,
                    {u'a', 0}, 1},
        ToUtf16Case{"TerminatorKeepsARoom", "abc", -1, 3, kUtfOutputFull, {u'a', u'b', 0}, 2},
        ToUtf16Case{"NoRoomAtAll", "abc", -1, 0, kUtfOutputFull, {}, 0},
        ToUtf16Case{"CountedFull", "abc", 3, 2, kUtfOutputFull, {u'a', u'b'}, 2},
        ToUtf16Case{"CountedExactFit", "ab", 2, 2, 0, {u'a', u'b'}, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ToUtf16, WideArrayFormKeepsThePrefixAndTerminates) {
  dcfWideArray wide;
  wide.AssignUtf8("ok\xC3\xA9\xFFrest");
  EXPECT_EQ(Units(wide.begin(), wide.end()), (Units{u'o', u'k', 0xE9, 0}));
  wide.AssignUtf8(nullptr);
  EXPECT_EQ(Units(wide.begin(), wide.end()), Units{0});
}

TEST(ToUtf16, BufferFormForPasswords) {
  char16_t buffer[257];
  std::uint32_t written = 0;
  const std::string password(300, 'p');
  EXPECT_EQ(Utf8ToUtf16Buffer(buffer, 257, &written, password.c_str(), -1, nullptr),
            kUtfOutputFull);
  EXPECT_EQ(written, 257u);
  EXPECT_EQ(buffer[256], 0);
}

}  // namespace
