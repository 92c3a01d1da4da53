#include <dcf/dcfException.h>
#include <strings/dcfBstr.h>

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(AssignBstr, CopiesASliceAndFreesTheOldString) {
  plat::BSTR target = plat::SysAllocString(u"old");
  EXPECT_EQ(AssignBstr(&target, u"hello world", 6, 5), 5u);
  ASSERT_NE(target, nullptr);
  EXPECT_EQ(plat::SysStringLen(target), 5u);
  EXPECT_EQ(std::u16string(target), u"world");
  EXPECT_EQ(AssignBstr(&target, u"ignored", 0, 0), 0u);
  EXPECT_EQ(target, nullptr);
}

TEST(AssignBstr, AllocationFailureThrowsOutOfMemoryWithItsSite) {
  plat::BSTR target = nullptr;
  try {
    AssignBstr(&target, nullptr, 0, 0x80000000u);  // too long for a BSTR: allocation fails
    FAIL();
  } catch (const dcfOutOfMemoryException& e) {
    EXPECT_STREQ(e.Frame(0).message, "bstrResult != NULL");
    EXPECT_EQ(e.Frame(0).line, 547);
    EXPECT_STREQ(e.Frame(0).file, "d:\\library\\dcf1\\win32\\include\\strings\\dcfStringUtility");
    EXPECT_EQ(e.GetHResult(), E_OUTOFMEMORY);
  }
  EXPECT_EQ(target, nullptr);
}

TEST(AnsiToBstr, ConvertsUtf8WithCountedAndTerminatedLengths) {
  plat::BSTR s = AnsiToBstr("Gr\xC3\xBC\xC3\x9F" "e");
  EXPECT_EQ(std::u16string(s), u"Gr\u00fc\u00dfe");
  EXPECT_EQ(plat::SysStringLen(s), 5u);
  FreeBstr(s);
  EXPECT_EQ(s, nullptr);

  s = AnsiToBstr("abcdef", 3);
  EXPECT_EQ(std::u16string(s), u"abc");
  FreeBstr(s);
  EXPECT_EQ(AnsiToBstr(nullptr), nullptr);

  plat::BSTR target = plat::SysAllocString(u"previous");
  AnsiToBstr(&target, "x\xFFy");
  EXPECT_EQ(std::u16string(target), u"x\ufffdy");
  AnsiToBstr(&target, nullptr);
  EXPECT_EQ(target, nullptr);
}

}  // namespace
