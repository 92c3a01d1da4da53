#include "platform/win32/registry_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/win32/atomic_file.h"
#include "platform/win32/test_other_user.h"
#include "platform/win32/test_refusal_trace.h"
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

TEST(RegistryStore, TheSharedFallbackDirectoryIsPrivateOrRefused) {
  TestTempDir dir;
  std::filesystem::create_directory(dir.File("own"));
  std::filesystem::create_directory_symlink(dir.File("own"), dir.File("link"));
  ASSERT_TRUE(WriteFileAtomically(dir.File("file"), "x"));
  std::filesystem::create_directory(dir.File("others"));
  // Root hands the directory to nobody; an ordinary user finds one of root's.
  const std::string others = ::geteuid() == 0 ? dir.File("others") : "/";
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(others.c_str(), kNobody, kNobody), 0);
  }

  struct Case {
    std::string path;
    bool accepted;
  } cases[] = {{dir.File("new"), true},   {dir.File("own"), true},  {dir.File("link"), false},
               {dir.File("file"), false}, {others, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    TestRefusalTrace trace;
    EXPECT_EQ(PrivateDirectory(c.path), c.accepted);
    EXPECT_EQ(trace.lines.empty(), c.accepted);
    if (!c.accepted) {
      ASSERT_FALSE(trace.lines.empty());
      EXPECT_NE(trace.lines.front().find(c.path), std::string::npos);
    }
  }
  struct stat st {};
  ASSERT_EQ(::stat(dir.File("new").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  // A store whose root was refused holds nothing and takes nothing.
  RegistryStore refused("");
  EXPECT_FALSE(refused.SetDword("Key", "v", 1));
  EXPECT_EQ(refused.QueryDword("Key", "v"), std::nullopt);
}

TEST(RegistryStore, TheFallbackRootIsMadePrivate) {
  const char* names[] = {"ZELCON_REGISTRY_ROOT", "XDG_DATA_HOME", "HOME"};
  std::vector<std::optional<std::string>> saved;
  for (const char* n : names) {
    const char* v = std::getenv(n);
    saved.push_back(v ? std::optional<std::string>(v) : std::nullopt);
    ::unsetenv(n);
  }
  const std::string expected = "/tmp/zelnic-registry-" + std::to_string(::getuid());
  const bool existed = std::filesystem::exists(expected);
  EXPECT_EQ(RegistryStore::DefaultRoot(), expected);
  struct stat st {};
  ASSERT_EQ(::lstat(expected.c_str(), &st), 0);
  if (!existed) {
    EXPECT_EQ(st.st_mode & 0777, 0700u);
  }
  EXPECT_EQ(st.st_uid, ::geteuid());
  if (!existed) ::rmdir(expected.c_str());
  for (size_t i = 0; i < saved.size(); ++i)
    if (saved[i]) ::setenv(names[i], saved[i]->c_str(), 1);
}

TEST(RegistryStore, OversizedKeysAndValuesOfTheWrongTypeAreTracedByName) {
  TestTempDir dir;
  RegistryStore reg(dir.Path());
  ASSERT_TRUE(reg.SetString("Key", "Name", "text"));
  TestRefusalTrace trace;
  EXPECT_EQ(reg.QueryDword("Key", "Name"), std::nullopt);
  ASSERT_EQ(trace.lines.size(), 1u);
  EXPECT_EQ(trace.lines[0], "registry value Key\\Name is a string, not a number; ignored");

  ASSERT_TRUE(WriteFileAtomically(reg.KeyFilePath("Big"),
                                  std::string(RegistryStore::kMaxKeyFileBytes + 1, ';')));
  EXPECT_EQ(reg.QueryString("Big", "x"), std::nullopt);
  ASSERT_EQ(trace.lines.size(), 2u);
  EXPECT_NE(trace.lines[1].find(reg.KeyFilePath("Big")), std::string::npos);
  EXPECT_NE(trace.lines[1].find("larger than"), std::string::npos);
}

}  // namespace
}  // namespace plat
