#include "platform/win32/bstr.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace plat {
namespace {

TEST(Bstr, AllocStringCopiesUpToTheNul) {
  BSTR s = SysAllocString(u"caf\u00e9");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 4u);
  EXPECT_EQ(std::u16string(s), u"caf\u00e9");
  std::uint32_t prefix;
  std::memcpy(&prefix, reinterpret_cast<const std::uint8_t*>(s) - 4, 4);
  EXPECT_EQ(prefix, 8u);  // the prefix counts bytes
  SysFreeString(s);
}

TEST(Bstr, AllocStringLenKeepsEmbeddedNulsAndTerminates) {
  const char16_t text[] = {u'a', u'\0', u'b', u'c'};
  BSTR s = SysAllocStringLen(text, 3);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 3u);
  EXPECT_EQ(std::u16string(s, 3), std::u16string(u"a\0b", 3));
  EXPECT_EQ(s[3], u'\0');
  SysFreeString(s);
}

TEST(Bstr, NullAndEmptyCases) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);  // a no-op

  BSTR empty = SysAllocString(u"");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SysStringLen(empty), 0u);
  EXPECT_EQ(empty[0], u'\0');
  SysFreeString(empty);

  BSTR zeros = SysAllocStringLen(nullptr, 2);
  ASSERT_NE(zeros, nullptr);
  EXPECT_EQ(SysStringLen(zeros), 2u);
  EXPECT_EQ(zeros[0], u'\0');
  EXPECT_EQ(zeros[1], u'\0');
  SysFreeString(zeros);
}

TEST(Bstr, LengthTooLargeForThePrefixFails) {
  EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
}

}  // namespace
}  // namespace plat
