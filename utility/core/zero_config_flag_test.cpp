#include "utility/core/zero_config_flag.h"

#include <gtest/gtest.h>

#include "hosts/adapterctl/testing/recording_adapter_control.h"

namespace zelcon {
namespace {

using Calls = std::vector<std::string>;

// The fake writes a backslash as \x5c.
const std::string kKey = R"("SOFTWARE\x5cMicrosoft\x5cWZCSVC\x5cParameters\x5cInterfaces\x5c{GUID}")";
const Calls kLookUp = {"OpenAdapter()", "QueryRegistryPath(400)", "CloseAdapter()",
                       R"(QueryRegistry("Class\x5c0000", "NetCfgInstanceId", 100))"};

struct ZeroConfigFlag : ::testing::Test {
  RecordingAdapterControl lib;
  void SetUp() override {
    lib.SetText("QueryRegistryPath", "Class\\0000");
    lib.SetText("QueryRegistry", "{GUID}");
  }
};

Calls Join(Calls a, const Calls& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST_F(ZeroConfigFlag, TakingOverClearsOnlyBit15AndNeverRewritesAValueThatCouldNotBeRead) {
  struct Case {
    const char* what;
    int readResult;
    uint32_t stored;
    int enable;
    const char* written;  // null: nothing written
  };
  const Case cases[] = {
      {"read, cleared", 0, 0x8001, 0, "0x1"},
      {"read, set", 0, 0x0102, 1, "0x8102"},
      {"absent, cleared", kRegistryValueAbsent, 0, 0, "0x0"},
      {"absent, set", kRegistryValueAbsent, 0, 1, "0x8000"},
      {"unreadable", 1, 0, 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    lib.ClearCalls();
    lib.SetResult("QueryRegistryDword", c.readResult);
    lib.SetDword("QueryRegistryDword", c.stored);
    SetZeroConfigFlag(lib, c.enable);
    Calls expected = Join(kLookUp, {"QueryRegistryDword(" + kKey + ", \"ControlFlags\")"});
    if (c.written) {
      expected.push_back("SetRegistry(" + kKey + ", \"ControlFlags\", " +
                         std::to_string(std::stoul(c.written, nullptr, 16)) + ")");
    }
    EXPECT_EQ(lib.CallTexts(), expected);
  }
}

TEST_F(ZeroConfigFlag, NoAdapterOrNoInstanceIdLeavesTheRegistryAlone) {
  lib.SetResult("QueryRegistryPath", 1);
  SetZeroConfigFlag(lib, 0);
  EXPECT_EQ(lib.CallTexts(), (Calls{"OpenAdapter()", "QueryRegistryPath(400)", "CloseAdapter()"}));
  bool owns = false;
  EXPECT_FALSE(QueryZeroConfigFlag(lib, nullptr, owns));

  lib.SetResult("QueryRegistryPath", 0);
  lib.SetResult("QueryRegistry", 1);
  lib.ClearCalls();
  SetZeroConfigFlag(lib, 0);
  EXPECT_EQ(lib.CallTexts(), kLookUp);
}

TEST_F(ZeroConfigFlag, ReadingTheBitCountsAnUnreadableValueAsSet) {
  struct Case {
    int readResult;
    uint32_t stored;
    bool owns;
  };
  const Case cases[] = {{0, 0x8000, true}, {0, 0x7FFF, false}, {kRegistryValueAbsent, 0, true},
                        {1, 0, true}};
  for (const Case& c : cases) {
    lib.SetResult("QueryRegistryDword", c.readResult);
    lib.SetDword("QueryRegistryDword", c.stored);
    bool owns = !c.owns;
    ASSERT_TRUE(QueryZeroConfigFlag(lib, RecordingAdapterControl::kHandle, owns));
    EXPECT_EQ(owns, c.owns) << c.readResult << " " << c.stored;
  }
  // With an adapter open, no other is opened for the look-up.
  for (const auto& call : lib.CallTexts()) {
    EXPECT_NE(call, "OpenAdapter()");
    EXPECT_NE(call, "CloseAdapter()");
  }
}

}  // namespace
}  // namespace zelcon
