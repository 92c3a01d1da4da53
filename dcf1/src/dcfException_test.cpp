#include <dcf/dcfException.h>
#include <dcf/dcfSourceFiles.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

struct ClassCase {
  const char* typeName;
  HRESULT classHResult;
  std::function<void()> raise;
  bool isRunTime;  // caught by a dcfRunTimeException handler
};

void PrintTo(const ClassCase& c, std::ostream* os) { *os << c.typeName; }

class ExceptionClasses : public ::testing::TestWithParam<ClassCase> {};

TEST_P(ExceptionClasses, TypeNameClassHResultAndHandlers) {
  const ClassCase& c = GetParam();
  bool runTimeHandler = false;
  try {
    try {
      c.raise();
      FAIL() << "did not throw";
    } catch (const dcfRunTimeException& e) {
      runTimeHandler = true;
      throw;
    }
  } catch (const dcfException& e) {
    EXPECT_STREQ(e.TypeName(), c.typeName);
    EXPECT_EQ(e.GetHResult(), c.classHResult);
    EXPECT_EQ(e.Code(), E_FAIL);  // the instance code stays E_FAIL unless a thrower sets it
    EXPECT_STREQ(e.Frame(0).message, "boom");
    EXPECT_EQ(e.Frame(0).line, 77);
    EXPECT_STREQ(e.Frame(0).file, "here.cpp");
  }
  EXPECT_EQ(runTimeHandler, c.isRunTime);
}

template <class E>
std::function<void()> Raise() {
  return [] {
    E e("boom");
    e.SetLine(77);
    e.SetFile("here.cpp");
    throw e;
  };
}

INSTANTIATE_TEST_SUITE_P(
    Tree, ExceptionClasses,
    ::testing::Values(
        ClassCase{"dcfRunTimeException", E_FAIL, Raise<dcfRunTimeException>(), true},
        ClassCase{"dcfSystemException", E_FAIL, Raise<dcfSystemException>(), true},
        ClassCase{"dcfResourceException", E_FAIL, Raise<dcfResourceException>(), true},
        ClassCase{"dcfOutOfMemoryException", E_OUTOFMEMORY, Raise<dcfOutOfMemoryException>(),
                  true},
        ClassCase{"dcfUnavailableResourceException", E_FAIL,
                  Raise<dcfUnavailableResourceException>(), true},
        ClassCase{"dcfRangeException", E_INVALIDARG, Raise<dcfRangeException>(), true},
        ClassCase{"dcfLogicalException", E_FAIL, Raise<dcfLogicalException>(), false},
        ClassCase{"dcfUnsupportedPlatformException", static_cast<HRESULT>(0x80004021u),
                  Raise<dcfUnsupportedPlatformException>(), false},
        ClassCase{"dcfSequenceException", E_FAIL, Raise<dcfSequenceException>(), false},
        ClassCase{"dcfTargetDoesNotExistException", E_POINTER,
                  Raise<dcfTargetDoesNotExistException>(), false}),
    [](const auto& info) { return std::string(info.param.typeName); });

TEST(Exception, DefaultConstructionSaysItWasNeverThrown) {
  const dcfException e;
  EXPECT_EQ(e.Code(), E_FAIL);
  EXPECT_EQ(e.Depth(), 0);
  EXPECT_EQ(e.Frame(0).line, 0);
  EXPECT_STREQ(e.Frame(0).file, "<exception was never thrown>");
  EXPECT_STREQ(e.Frame(0).message, "");
  for (int level = 1; level < dcfException::kFrames; ++level) {
    EXPECT_STREQ(e.Frame(level).file, "") << level;
  }
}

TEST(Exception, RangeWithoutMessageSaysSoAndKeepsCodeEFail) {
  const dcfRangeException e;
  EXPECT_STREQ(e.Frame(0).message,
               "<no message> exception was default constructed without a message");
  EXPECT_EQ(e.GetHResult(), E_INVALIDARG);
  EXPECT_EQ(e.Code(), E_FAIL);
}

TEST(Exception, MarkHandledFillsFramesThenOverwritesTheLast) {
  dcfRunTimeException e("raised");
  for (int call = 1; call <= 5; ++call) e.MarkHandled(100 + call, "catch.cpp");
  EXPECT_EQ(e.Depth(), 4);
  EXPECT_STREQ(e.Frame(0).message, "raised");
  for (int level = 1; level <= 3; ++level) {
    EXPECT_STREQ(e.Frame(level).message, "Exception Handled") << level;
    EXPECT_EQ(e.Frame(level).line, 100 + level);
  }
  EXPECT_STREQ(e.Frame(4).message, "!!! exception levels exceeded !!!");
  EXPECT_EQ(e.Frame(4).line, 105);
  EXPECT_STREQ(e.Frame(4).file, "catch.cpp");
  EXPECT_FALSE(e.NextLevel());
  EXPECT_EQ(e.Depth(), 4);
}

TEST(Exception, LongTextsAreCutToTheirFields) {
  dcfRunTimeException e(std::string(400, 'm').c_str());
  e.SetFile(std::string(100, 'f').c_str());
  EXPECT_EQ(std::string(e.Frame(0).message), std::string(319, 'm'));
  EXPECT_EQ(std::string(e.Frame(0).file), std::string(79, 'f'));
  e.SetMessage(std::string(500, 'x').c_str(), 2);
  EXPECT_EQ(std::string(e.Frame(2).message), std::string(319, 'x'));
  EXPECT_EQ(e.Depth(), 0);  // writing a level does not move the depth
}

TEST(Exception, ThrownCopyKeepsEveryFrame) {
  dcfRangeException prepared("first");
  prepared.SetCode(E_UNEXPECTED);
  for (int i = 0; i < 4; ++i) prepared.MarkHandled(i, "f");
  try {
    dcfThrowRangeException(prepared, 604, dcfSourceFile::kArray);
  } catch (const dcfException& caught) {
    const dcfRangeException* typed = dynamic_cast<const dcfRangeException*>(&caught);
    ASSERT_NE(typed, nullptr);
    const dcfRangeException copy(*typed);  // copies are of the copied class, whole
    EXPECT_STREQ(copy.TypeName(), "dcfRangeException");
    EXPECT_EQ(copy.Code(), E_UNEXPECTED);
    EXPECT_EQ(copy.Depth(), 4);
    EXPECT_STREQ(copy.Frame(0).message, "first");
    for (int level = 1; level <= 3; ++level) EXPECT_EQ(copy.Frame(level).line, level - 1);
    // The throw function wrote the raise site into the current frame.
    EXPECT_EQ(copy.Frame(4).line, 604);
    EXPECT_STREQ(copy.Frame(4).file, "d:\\library\\dcf1\\win32\\include\\collections\\dcfArray");
  }
}

TEST(Exception, ThrowFunctionsThrowTheNamedClass) {
  EXPECT_THROW(RaiseOutOfMemory(dcfOutOfMemoryException("m"), 1, "f"), dcfOutOfMemoryException);
  EXPECT_THROW(dcfThrowRunTimeException(dcfRunTimeException("m"), 1, "f"), dcfRunTimeException);
  EXPECT_THROW(dcfThrowSequenceException(dcfSequenceException("m"), 1, "f"),
               dcfSequenceException);
  EXPECT_THROW(dcfThrowTargetDoesNotExistException(dcfTargetDoesNotExistException("m"), 1, "f"),
               dcfTargetDoesNotExistException);
  EXPECT_THROW(
      dcfThrowUnsupportedPlatformException(dcfUnsupportedPlatformException("m"), 1, "f"),
      dcfUnsupportedPlatformException);
  EXPECT_THROW(
      dcfThrowUnavailableResourceException(dcfUnavailableResourceException("m"), 1, "f"),
      dcfUnavailableResourceException);
}

TEST(Exception, LayoutIsFixedSize) {
  EXPECT_EQ(sizeof(dcfTraceFrame), 404u);
  EXPECT_EQ(sizeof(dcfRangeException), sizeof(dcfException));
  EXPECT_EQ(sizeof(dcfTargetDoesNotExistException), sizeof(dcfException));
}

}  // namespace
