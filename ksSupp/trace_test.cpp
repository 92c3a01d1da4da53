#include "ksSupp/trace.h"

#include "ksSupp/keys/key_trace.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> g_narrow;
std::vector<std::u16string> g_wide;

int32_t g_category = -1;

void KSSTK_CALL Narrow(int32_t, int32_t category, const char* text, const uint8_t*, uint32_t) {
  g_category = category;
  g_narrow.emplace_back(text);
}
void KSSTK_CALL Wide(int32_t, int32_t, const KSSTK_WCHAR* text, const uint8_t*, uint32_t) {
  g_wide.emplace_back(text);
}

class TraceSink : public ::testing::Test {
protected:
  void SetUp() override {
    g_narrow.clear();
    g_wide.clear();
    SetTraceLevel(4);
  }
  void TearDown() override {
    SetTraceCallbackA(nullptr);
    SetTraceCallbackW(nullptr);
    SetTraceLevel(0);
  }
};

// A 3000-character message reaches either callback as its first 2047 characters.
TEST_F(TraceSink, LongMessagesAreCutAt2047Characters) {
  const std::string text(3000, 'x');
  SetTraceCallbackA(Narrow);
  traceDetail(TraceCategory::Keys, nullptr, 0, "%s\n", text.c_str());
  ASSERT_EQ(g_narrow.size(), 1u);
  EXPECT_EQ(g_narrow[0], std::string(2047, 'x'));

  SetTraceCallbackA(nullptr);
  SetTraceCallbackW(Wide);
  traceError(TraceCategory::Keys, nullptr, 0, "%s\n", text.c_str());
  ASSERT_EQ(g_wide.size(), 1u);
  EXPECT_EQ(g_wide[0], std::u16string(2047, u'x'));
}

// The wide text is the UTF-8 line decoded; a byte that is not UTF-8 becomes U+FFFD and the
// rest of the line survives. An empty line arrives as an empty wide string.
TEST_F(TraceSink, WideLinesAreDecodedFromUtf8) {
  SetTraceCallbackW(Wide);
  traceEvent(TraceCategory::Eap, nullptr, 0, "user %s\n", "J\xC3\xBCrgen \xFF!");
  traceEvent(TraceCategory::Eap, nullptr, 0, "%s", "");
  ASSERT_EQ(g_wide.size(), 2u);
  EXPECT_EQ(g_wide[0], u"user J\u00fcrgen \uFFFD!\n");
  EXPECT_EQ(g_wide[1], u"");
}

// The key handlers format their own lines; once connected they reach the host's callback
// under the same level.
TEST_F(TraceSink, KeyHandlerLinesReachTheHost) {
  ConnectTraceSources();
  SetTraceCallbackA(Narrow);
  SetTraceLevel(2);
  KeyTrace(3, nullptr, 0, "not written at level 2\n");
  KeyTrace(1, nullptr, 0, "refused %d\n", 7);
  ASSERT_EQ(g_narrow.size(), 1u);
  EXPECT_EQ(g_narrow[0], "refused 7\n");
  EXPECT_EQ(g_category, KSSTK_TRACE_CATEGORY_KEYS);
}

TEST_F(TraceSink, LevelsGateFromErrorToDetail) {
  struct Case {
    int32_t globalLevel;
    TraceLevel line;
    bool written;
  };
  const Case cases[] = {{0, TraceLevel::Error, false},  {1, TraceLevel::Error, true},
                        {1, TraceLevel::Warning, false}, {3, TraceLevel::Event, true},
                        {3, TraceLevel::Detail, false},  {4, TraceLevel::Detail, true}};
  for (const Case& c : cases) {
    SetTraceLevel(c.globalLevel);
    EXPECT_EQ(TraceEnabled(c.line), c.written) << c.globalLevel;
  }
}

}  // namespace
