#include "platform/win32/registry_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/win32/atomic_file.h"
#include "platform/win32/test_temp_dir.h"

namespace plat {
namespace {

constexpr const char* kAdapterKey =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\0001";

TEST(RegistryStore, ValuesRoundTripAndNamesIgnoreCase) {
  TestTempDir dir;
  RegistryStore reg(dir.Path());
  EXPECT_FALSE(reg.Query(kAdapterKey, "NetCfgInstanceId"));
  ASSERT_TRUE(reg.SetString(kAdapterKey, "NetCfgInstanceId", "{1234}"));
  ASSERT_TRUE(reg.SetDword(kAdapterKey, "RadioOn", 1));
  ASSERT_TRUE(reg.SetDword(kAdapterKey, "radioon", 0xFFFFFFFF));

  RegistryStore other(dir.Path());  // another process sees the same tree
  std::string lower = "system\\currentcontrolset\\control\\class\\"
                      "{4d36e972-e325-11ce-bfc1-08002be10318}\\0001";
  EXPECT_EQ(other.QueryString(lower, "NETCFGINSTANCEID"), "{1234}");
  EXPECT_EQ(other.QueryDword(kAdapterKey, "RadioOn"), 0xFFFFFFFFu);
  EXPECT_FALSE(other.QueryDword(kAdapterKey, "NetCfgInstanceId"));  // a string, not a DWORD
  EXPECT_FALSE(other.QueryString(kAdapterKey, "RadioOn"));
  EXPECT_FALSE(other.Query("SYSTEM\\CurrentControlSet", "RadioOn"));

  std::optional<std::string> text = ReadWholeFile(reg.KeyFilePath(kAdapterKey), 10000);
  ASSERT_TRUE(text);
  EXPECT_NE(text->find("\nNetCfgInstanceId=sz:{1234}\n"), std::string::npos) << *text;
  EXPECT_NE(text->find("\nRadioOn=dword:0xffffffff\n"), std::string::npos) << *text;
}

TEST(RegistryStore, AwkwardNamesAndTextsRoundTrip) {
  TestTempDir dir;
  RegistryStore reg(dir.Path());
  const std::string texts[] = {"", "a=b", "two\nlines\r\n", "back\\slash", std::string("\x01\x7f", 2),
                               "caf\xc3\xa9", "  spaced  "};
  for (const std::string& t : texts) {
    ASSERT_TRUE(reg.SetString("Key", t.empty() ? "x" : t, t));
    EXPECT_EQ(reg.QueryString("Key", t.empty() ? "x" : t), t);
  }
  ASSERT_TRUE(reg.SetDword("Key", "", 7));  // the key's unnamed value
  EXPECT_EQ(reg.QueryDword("Key", ""), 7u);
}

TEST(RegistryStore, KeyPathsStayUnderTheRootAndDoNotCollide) {
  TestTempDir dir;
  RegistryStore reg(dir.Path());
  const std::string root = dir.Path() + "/";
  for (const char* key : {"..\\..\\etc\\passwd", "a/b", ".hidden", "a.key\\b"}) {
    std::string file = reg.KeyFilePath(key);
    SCOPED_TRACE(file);
    EXPECT_EQ(file.rfind(root, 0), 0u);
    // The only dot below the root is the one of the suffix: no "..", no hidden names.
    std::string below = file.substr(root.size());
    EXPECT_EQ(below.find('.'), below.size() - 4);
  }
  ASSERT_TRUE(reg.SetDword("a", "v", 1));
  ASSERT_TRUE(reg.SetDword("a.key\\b", "v", 2));
  ASSERT_TRUE(reg.SetDword("a\\b", "v", 3));
  EXPECT_EQ(reg.QueryDword("a", "v"), 1u);
  EXPECT_EQ(reg.QueryDword("a.key\\b", "v"), 2u);
  EXPECT_EQ(reg.QueryDword("a\\b", "v"), 3u);
  EXPECT_EQ(reg.QueryDword("\\a\\\\b\\", "v"), 3u);  // empty components do not count
}

TEST(RegistryStore, ChangeKeepsOtherLinesByteForByte) {
  std::string before = "; hand-made\r\nName=sz:x\r\nFuture=multi_sz:a\\0b\r\n\r\nCount=dword:0x1\r\n";
  std::string after = RegistryWithValue(before, "COUNT", RegistryValue::Dword(0x2a));
  EXPECT_EQ(after, "; hand-made\r\nName=sz:x\r\nFuture=multi_sz:a\\0b\r\n\r\nCount=dword:0x0000002a\r\n");
  EXPECT_EQ(RegistryLookup(after, "count"), RegistryValue::Dword(42));
  // Malformed lines are not values; a value added behind them is.
  std::string bad = "A=dword:0xZZ\nB=dword:0x123456789\nC=sz:bad\\q\nD\n";
  EXPECT_FALSE(RegistryLookup(bad, "A"));
  EXPECT_FALSE(RegistryLookup(bad, "B"));
  EXPECT_FALSE(RegistryLookup(bad, "C"));
  EXPECT_EQ(RegistryWithValue(bad, "A", RegistryValue::String("ok")), bad + "A=sz:ok\n");
}

TEST(RegistryStore, ConcurrentWritersLoseNothing) {
  TestTempDir dir;
  std::vector<std::thread> writers;
  for (int w = 0; w < 4; ++w) {
    writers.emplace_back([&, w] {
      RegistryStore reg(dir.Path());
      for (int i = 0; i < 8; ++i) reg.SetDword("Shared", "v" + std::to_string(w * 100 + i), i);
    });
  }
  for (auto& t : writers) t.join();
  RegistryStore reg(dir.Path());
  for (int w = 0; w < 4; ++w)
    for (int i = 0; i < 8; ++i) EXPECT_EQ(reg.QueryDword("Shared", "v" + std::to_string(w * 100 + i)), uint32_t(i));
}

TEST(RegistryStore, RootComesFromTheEnvironment) {
  const char* saved = std::getenv("ZELCON_REGISTRY_ROOT");
  std::string keep = saved ? saved : "";
  ::setenv("ZELCON_REGISTRY_ROOT", "/tmp/some-root", 1);
  EXPECT_EQ(RegistryStore::DefaultRoot(), "/tmp/some-root");
  ::unsetenv("ZELCON_REGISTRY_ROOT");
  EXPECT_NE(RegistryStore::DefaultRoot().find("zelnic"), std::string::npos);
  if (saved) ::setenv("ZELCON_REGISTRY_ROOT", keep.c_str(), 1);
}

}  // namespace
}  // namespace plat
