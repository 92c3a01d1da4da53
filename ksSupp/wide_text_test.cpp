#include "ksSupp/wide_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Utf8FromWide, ConvertsUpToTheFirstInvalidSurrogate) {
  struct Case {
    const char* name;
    const char16_t* wide;
    std::string utf8;
  };
  const char16_t loneLow[] = {u'a', 0xDC00, u'b', 0};
  const char16_t highThenLetter[] = {u'x', 0xD83D, u'y', 0};
  const char16_t highAtEnd[] = {u'x', 0xD83D, 0};
  const Case cases[] = {
      {"null", nullptr, ""},
      {"empty", u"", ""},
      {"ascii", u"user@realm", "user@realm"},
      {"two and three bytes", u"\u00e9\u20ac", "\xC3\xA9\xE2\x82\xAC"},
      {"surrogate pair", u"a\U0001F600b", "a\xF0\x9F\x98\x80" "b"},
      {"lone low surrogate", loneLow, "a"},
      {"high surrogate without low", highThenLetter, "x"},
      {"high surrogate at the end", highAtEnd, "x"},
  };
  for (const Case& c : cases) {
    const Utf8FromWide text(c.wide);
    EXPECT_EQ(std::string(text.Get()), c.utf8) << c.name;
    EXPECT_EQ(text.Length(), c.utf8.size()) << c.name;
  }
}

}  // namespace
