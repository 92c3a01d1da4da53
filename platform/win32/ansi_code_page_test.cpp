#include "platform/win32/ansi_code_page.h"

#include <gtest/gtest.h>

namespace plat {
namespace {

struct AnsiCase {
  const char* name;
  std::string narrow;
  std::u16string wide;
};

void PrintTo(const AnsiCase& c, std::ostream* os) { *os << c.name; }

class AnsiToWideTable : public ::testing::TestWithParam<AnsiCase> {};

TEST_P(AnsiToWideTable, Converts) { EXPECT_EQ(AnsiToWide(GetParam().narrow), GetParam().wide); }

INSTANTIATE_TEST_SUITE_P(
    Cases, AnsiToWideTable,
    ::testing::Values(
        AnsiCase{"Ascii", "abc", u"abc"},
        AnsiCase{"TwoAndThreeBytes", "\xC3\xA9\xEF\xBC\xA1", u"\u00e9\uff21"},
        AnsiCase{"FourBytesBecomeAPair", "\xF0\x9F\x98\x80", u"\U0001F600"},
        AnsiCase{"EmbeddedNulKept", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        AnsiCase{"LoneContinuation", "a\x80z", u"a\ufffdz"},
        AnsiCase{"Latin1ByteIsInvalid", "caf\xE9", u"caf\ufffd"},
        AnsiCase{"OverlongNul", "\xC0\x80", u"\ufffd\ufffd"},
        AnsiCase{"EncodedSurrogate", "\xED\xA0\x80", u"\ufffd\ufffd\ufffd"},
        AnsiCase{"AboveUnicode", "\xF4\x90\x80\x80", u"\ufffd\ufffd\ufffd\ufffd"},
        AnsiCase{"TruncatedAtEnd", "x\xE2\x82", u"x\ufffd\ufffd"},
        AnsiCase{"TruncatedBeforeAscii", "\xE2\x82" "A", u"\ufffd\ufffdA"},
        AnsiCase{"FeFf", "\xFE\xFF", u"\ufffd\ufffd"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WideToAnsi, EncodesAndReplacesUnpairedSurrogates) {
  EXPECT_EQ(WideToAnsi(u"a\u00e9\uff21\U0001F600"), "a\xC3\xA9\xEF\xBC\xA1\xF0\x9F\x98\x80");
  const char16_t loneHigh[] = {u'a', 0xD83D, u'b'};
  EXPECT_EQ(WideToAnsi(std::u16string_view(loneHigh, 3)), "a\xEF\xBF\xBD" "b");
  const char16_t loneLow[] = {0xDE00};
  EXPECT_EQ(WideToAnsi(std::u16string_view(loneLow, 1)), "\xEF\xBF\xBD");
  const char16_t highAtEnd[] = {0xD83D};
  EXPECT_EQ(WideToAnsi(std::u16string_view(highAtEnd, 1)), "\xEF\xBF\xBD");
}

TEST(WideToAnsi, RoundTripsValidText) {
  const std::u16string text = u"Gr\u00fc\u00dfe \u4e16\u754c \U0010FFFF";
  EXPECT_EQ(AnsiToWide(WideToAnsi(text)), text);
}

}  // namespace
}  // namespace plat
