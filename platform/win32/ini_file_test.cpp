#include "platform/win32/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/win32/atomic_file.h"
#include "platform/win32/test_refusal_trace.h"
#include "platform/win32/test_temp_dir.h"

namespace plat {
namespace {

struct ReadCase {
  const char* what;
  const char* text;  // null: no file
  const char* section;
  const char* key;
  int expected;      // read with default 77
};

const ReadCase kReadCases[] = {
    {"missing file", nullptr, "Advanced", "FirstChan", 77},
    {"missing section", "[Debug]\r\nTrace=1\r\n", "Advanced", "FirstChan", 77},
    {"missing key", "[Advanced]\r\nLastChan=11\r\n", "Advanced", "FirstChan", 77},
    {"key of another section", "[Debug]\nFirstChan=3\n[Advanced]\n", "Advanced", "FirstChan", 77},
    {"names ignore case", "[aDVANCED]\nfirstchan=10\n", "Advanced", "FirstChan", 10},
    {"names and value trimmed", " [ Advanced ]\t\n  FirstChan\t=  12  \n", "Advanced", "FirstChan",
     12},
    {"empty value gives default", "[Advanced]\nFirstChan=\n", "Advanced", "FirstChan", 77},
    {"digits up to first other", "[Advanced]\nFirstChan=12abc\n", "Advanced", "FirstChan", 12},
    {"no digits reads 0", "[Advanced]\nFirstChan=abc\n", "Advanced", "FirstChan", 0},
    {"sign", "[Advanced]\nFirstChan=-5\n", "Advanced", "FirstChan", -5},
    {"huge number saturates", "[A]\nk=99999999999999\n", "A", "k", 2147483647},
    {"first section wins", "[A]\nk=1\n[a]\nk=2\n", "A", "k", 1},
    {"first key wins", "[A]\nk=1\nK=2\n", "A", "k", 1},
    {"comment is no key", "[A]\n;k=5\n", "A", "k", 77},
    {"section name with spaces", "[Advanced]\nAuto Configuration=0\n", "advanced",
     "auto configuration", 0},
    {"last line without break", "[A]\nk=4", "A", "k", 4},
};

TEST(IniFile, ReadTable) {
  for (const ReadCase& c : kReadCases) {
    SCOPED_TRACE(c.what);
    TestTempDir dir;
    IniFile ini(dir.File("Zelcon.ini"));
    if (c.text) {
      ASSERT_TRUE(WriteFileAtomically(ini.Path(), c.text));
    }
    EXPECT_EQ(ini.ReadInt(c.section, c.key, 77), c.expected);
  }
}

struct WriteCase {
  const char* what;
  const char* before;
  const char* section;
  const char* key;
  const char* value;
  const char* after;
};

const WriteCase kWriteCases[] = {
    {"value replaced in place, rest byte for byte",
     "; made on Windows\r\n[Advanced]\r\nFirstChan = 1 \r\n\r\nLastChan=11\r\n", "ADVANCED",
     "firstchan", "10", "; made on Windows\r\n[Advanced]\r\nFirstChan = 10 \r\n\r\nLastChan=11\r\n"},
    {"new key after last key of its section", "[A]\nx=1\n\n[B]\ny=2\n", "A", "z", "3",
     "[A]\nx=1\nz=3\n\n[B]\ny=2\n"},
    {"new key under a bare header", "[Security]\r\n", "Security", "WepKeyFmt", "1",
     "[Security]\r\nWepKeyFmt=1\r\n"},
    {"new key after a last line without break", "[A]\nx=1", "A", "y", "2", "[A]\nx=1\ny=2\n"},
    {"new section appended with the file's line ending", "[A]\nx=1\n", "Security", "WepKeyFmt",
     "1", "[A]\nx=1\n[Security]\nWepKeyFmt=1\n"},
    {"line break added before an appended section", "[A]\r\nx=1", "S", "k", "1",
     "[A]\r\nx=1\r\n[S]\r\nk=1\r\n"},
    {"empty text gets CR LF", "", "Advanced", "FirstChan", "10", "[Advanced]\r\nFirstChan=10\r\n"},
    {"empty value replaced", "[A]\nk=\n", "A", "k", "5", "[A]\nk=5\n"},
    {"a CR ending the file is completed to CR LF", "[A]\r\nx=1\r", "A", "k", "5",
     "[A]\r\nx=1\r\nk=5\r\n"},
    {"an unterminated header ending in CR", "[A\r", "A", "k", "5", "[A\r\nk=5\r\n"},
    {"only the first matching section is written", "[A]\nk=1\n[A]\nk=2\n", "A", "k", "9",
     "[A]\nk=9\n[A]\nk=2\n"},
};

TEST(IniFile, WriteTable) {
  for (const WriteCase& c : kWriteCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(IniWithValue(c.before, c.section, c.key, c.value), c.after);
  }
}

TEST(IniFile, FirstWritesCreateTheFile) {
  TestTempDir dir;
  IniFile ini(dir.File("Zelcon.ini"));
  ASSERT_TRUE(ini.WriteInt("Advanced", "FirstChan", 10));
  ASSERT_TRUE(ini.WriteInt("Advanced", "LastChan", 11));
  EXPECT_EQ(ReadWholeFile(ini.Path(), 1000), "[Advanced]\r\nFirstChan=10\r\nLastChan=11\r\n");
  ASSERT_TRUE(ini.WriteInt("Security", "WepKeyFmt", 1));
  EXPECT_EQ(ini.ReadInt("Security", "WepKeyFmt", 0), 1);
  EXPECT_EQ(ini.ReadInt("Advanced", "LastChan", 0), 11);
}

TEST(IniFile, UnreadableFileIsNotOverwritten) {
  TestTempDir dir;
  IniFile missingDirectory(dir.File("nowhere/Zelcon.ini"));
  EXPECT_FALSE(missingDirectory.WriteInt("A", "k", 1));

  // A file too large to be a settings file is left alone rather than truncated.
  IniFile huge(dir.File("Zelcon.ini"));
  std::string big = "[A]\nk=1\n" + std::string(IniFile::kMaxFileBytes, ';');
  ASSERT_TRUE(WriteFileAtomically(huge.Path(), big));
  EXPECT_EQ(huge.ReadInt("A", "k", 7), 7);
  EXPECT_FALSE(huge.WriteInt("A", "k", 2));
  EXPECT_EQ(ReadWholeFile(huge.Path(), 2 * IniFile::kMaxFileBytes), big);
}

TEST(IniFile, AFileForSecretsIsCreatedOwnerOnly) {
  TestTempDir dir;
  IniFile plain(dir.File("plain.ini"));
  ASSERT_TRUE(plain.WriteInt("Advanced", "AutoLink", 1));
  IniFile secret(dir.File("secret.ini"), kPrivateFileMode);
  ASSERT_TRUE(secret.WriteInt("Security", "Key", 1));
  struct stat st {};
  ASSERT_EQ(::stat(plain.Path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  ASSERT_EQ(::stat(secret.Path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(IniFile, AnOversizedFileReadsAsDefaultsAndIsTracedByName) {
  TestTempDir dir;
  IniFile ini(dir.File("Zelcon.ini"));
  ASSERT_TRUE(WriteFileAtomically(ini.Path(), "[A]\r\nK=5\r\n" +
                                                  std::string(IniFile::kMaxFileBytes, ';')));
  TestRefusalTrace trace;
  EXPECT_EQ(ini.ReadInt("A", "K", 7), 7);
  EXPECT_FALSE(ini.WriteInt("A", "K", 1));
  ASSERT_FALSE(trace.lines.empty());
  EXPECT_NE(trace.lines[0].find(ini.Path()), std::string::npos);
}

}  // namespace
}  // namespace plat
