// The global functions as a host reaches them: memory shared with the host, trace callbacks,
// start and stop. The library is loaded with dlopen.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/pentrel/ksstk_layout.h"
#include "tests/pentrel/pentrel_host.h"

namespace {

constexpr KSSTK_RESULT kPointerError = static_cast<KSSTK_RESULT>(0x80004003u);

TEST(PentrelMemory, AllocatorsFollowTheHostRules) {
  const auto& k = Pentrel();
  void* block = reinterpret_cast<void*>(1);
  EXPECT_EQ(k.KSSTK_Alloc(0, &block), 0);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(k.KSSTK_Alloc(24, &block), 0);
  ASSERT_NE(block, nullptr);
  std::memset(block, 0xA5, 24);  // the whole block is usable
  EXPECT_EQ(k.KSSTK_Free(block), 0);
  EXPECT_EQ(k.KSSTK_Free(nullptr), 0);

  char* narrow = nullptr;
  EXPECT_EQ(k.KSSTK_AllocStringA(nullptr, &narrow), 0);
  ASSERT_NE(narrow, nullptr);
  EXPECT_EQ(narrow[0], '\0');
  k.KSSTK_Free(narrow);
  EXPECT_EQ(k.KSSTK_AllocStringA("user\xC3\xA9", &narrow), 0);
  EXPECT_STREQ(narrow, "user\xC3\xA9");
  k.KSSTK_Free(narrow);

  KSSTK_WCHAR* wide = nullptr;
  EXPECT_EQ(k.KSSTK_AllocStringW(nullptr, &wide), 0);
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(wide[0], 0);
  k.KSSTK_Free(wide);
  EXPECT_EQ(k.KSSTK_AllocStringW(u"p\u00e9\U0001F600", &wide), 0);
  EXPECT_EQ(std::u16string(wide), u"p\u00e9\U0001F600");
  k.KSSTK_Free(wide);
}

TEST(PentrelMemory, BlobsCopyZeroFillOrStayEmpty) {
  const auto& k = Pentrel();
  KSSTK_BLOB blob{reinterpret_cast<uint8_t*>(1), 99};
  EXPECT_EQ(k.KSSTK_AllocBlob(&blob, nullptr, 5), 0);
  ASSERT_NE(blob.Data, nullptr);
  EXPECT_EQ(blob.Length, 5u);
  EXPECT_EQ(std::vector<uint8_t>(blob.Data, blob.Data + 5), std::vector<uint8_t>(5, 0));
  k.KSSTK_Free(blob.Data);

  const uint8_t bytes[3] = {1, 2, 3};
  EXPECT_EQ(k.KSSTK_AllocBlob(&blob, bytes, 3), 0);
  EXPECT_EQ(std::vector<uint8_t>(blob.Data, blob.Data + blob.Length),
            std::vector<uint8_t>({1, 2, 3}));
  k.KSSTK_Free(blob.Data);

  EXPECT_EQ(k.KSSTK_AllocBlob(&blob, bytes, 0), 0);
  EXPECT_EQ(blob.Data, nullptr);
  EXPECT_EQ(blob.Length, 0u);
}

TEST(PentrelMemory, NullOutPointersAreRefused) {
  const auto& k = Pentrel();
  EXPECT_EQ(k.KSSTK_Alloc(4, nullptr), kPointerError);
  EXPECT_EQ(k.KSSTK_AllocStringA("x", nullptr), kPointerError);
  EXPECT_EQ(k.KSSTK_AllocStringW(u"x", nullptr), kPointerError);
  EXPECT_EQ(k.KSSTK_AllocBlob(nullptr, "x", 1), kPointerError);
  EXPECT_EQ(k.KSSTK_AddRef(nullptr), kPointerError);
  EXPECT_EQ(k.KSSTK_Release(nullptr), kPointerError);
}

// What the trace callbacks received.
struct TraceLine {
  int32_t level;
  int32_t category;
  std::string narrow;
  std::u16string wide;
};
std::vector<TraceLine> g_lines;

void KSSTK_CALL NarrowTrace(int32_t level, int32_t category, const char* text, const uint8_t*,
                            uint32_t) {
  g_lines.push_back({level, category, text, {}});
}
void KSSTK_CALL WideTrace(int32_t level, int32_t category, const KSSTK_WCHAR* text,
                          const uint8_t*, uint32_t) {
  g_lines.push_back({level, category, {}, text});
}

class PentrelTrace : public ::testing::Test {
protected:
  void SetUp() override { g_lines.clear(); }
  void TearDown() override {
    const auto& k = Pentrel();
    k.KSSTK_SetTraceCallbackA(nullptr);
    k.KSSTK_SetTraceCallbackW(nullptr);
    k.KSSTK_SetTraceLevel(0);
  }
  // A refused call is the one thing every build of the library traces at level 1.
  static void TraceOneError() { Pentrel().KSSTK_AddRef(nullptr); }
};

TEST_F(PentrelTrace, NarrowCallbackTakesPrecedenceOverWide) {
  const auto& k = Pentrel();
  k.KSSTK_SetTraceLevel(1);
  k.KSSTK_SetTraceCallbackW(WideTrace);
  k.KSSTK_SetTraceCallbackA(NarrowTrace);
  TraceOneError();
  ASSERT_EQ(g_lines.size(), 1u);
  EXPECT_EQ(g_lines[0].level, KSSTK_TRACE_ERROR);
  EXPECT_EQ(g_lines[0].category, KSSTK_TRACE_CATEGORY_INTERFACE);
  EXPECT_EQ(g_lines[0].narrow, "KSSTK_AddRef: refused: null handle\n");
  EXPECT_TRUE(g_lines[0].wide.empty());
}

TEST_F(PentrelTrace, WideCallbackAloneReceivesTheWidenedLine) {
  const auto& k = Pentrel();
  k.KSSTK_SetTraceLevel(1);
  k.KSSTK_SetTraceCallbackW(WideTrace);
  TraceOneError();
  ASSERT_EQ(g_lines.size(), 1u);
  EXPECT_EQ(g_lines[0].wide, u"KSSTK_AddRef: refused: null handle\n");
}

TEST_F(PentrelTrace, LevelGatesAndNoCallbackDrops) {
  const auto& k = Pentrel();
  k.KSSTK_SetTraceCallbackA(NarrowTrace);
  k.KSSTK_SetTraceLevel(0);
  TraceOneError();
  EXPECT_TRUE(g_lines.empty());
  k.KSSTK_SetTraceLevel(4);
  k.KSSTK_SetTraceCallbackA(nullptr);
  TraceOneError();  // nowhere to go: dropped
  EXPECT_TRUE(g_lines.empty());
}

// Each KSSTK_Initialize is matched by one KSSTK_Terminate; the load itself holds a
// reference, so the library stays usable after the host's last Terminate.
TEST(PentrelLifetime, InitializeAndTerminateNest) {
  const auto& k = Pentrel();
  EXPECT_EQ(k.KSSTK_Initialize(), 0);
  EXPECT_EQ(k.KSSTK_Initialize(), 0);
  EXPECT_EQ(k.KSSTK_Terminate(), 0);
  EXPECT_EQ(k.KSSTK_Terminate(), 0);
  EXPECT_EQ(k.KSSTK_Terminate(), 0);  // unmatched: still 0, and harmless
  EXPECT_EQ(k.KSSTK_Initialize(), 0);
  EXPECT_EQ(k.KSSTK_Terminate(), 0);
}

// The C99 translation unit lays every record out as C++ does.
TEST(PentrelHeader, CAndCppAgreeOnEveryRecord) {
  const KsstkLayoutEntry cpp[] = {KSSTK_LAYOUT_MEMBERS(KSSTK_LAYOUT_ENTRY)};
  ASSERT_EQ(ksstk_c99_layout_count, std::size(cpp));
  for (std::size_t i = 0; i < std::size(cpp); ++i) {
    SCOPED_TRACE(cpp[i].name);
    EXPECT_STREQ(ksstk_c99_layout[i].name, cpp[i].name);
    EXPECT_EQ(ksstk_c99_layout[i].recordSize, cpp[i].recordSize);
    EXPECT_EQ(ksstk_c99_layout[i].offset, cpp[i].offset);
  }
}

}  // namespace
