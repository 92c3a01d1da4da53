#include "platform/gui/base/string_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "platform/gui/base/string_table_source.h"
#include "zfwTestStrings.h"

namespace zfw {
namespace {

class StringTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StringTable::clear();
    StringTable::install(zfwTestStrings());
  }
  void TearDown() override { StringTable::clear(); }
};

// The table the build generated from testdata/strings.txt.
TEST_F(StringTableTest, GeneratedTableKeepsTextsExactly) {
  EXPECT_EQ(loadString(61213), "Brevik BRX210C(P) Wireless LAN Adapter Configuration Utility");
  EXPECT_EQ(loadString(62022), "The passphrase needs to be 8 to 63 ascii characters. ");  // quoted: blank kept
  EXPECT_EQ(loadString(61604), "Scanning for ");  // unquoted trailing blank kept as well
  EXPECT_EQ(loadString(63010), "Line one\r\nLine two\ttabbed \\ \"quoted\"");
  EXPECT_EQ(loadString(100), "Grüße, 日本");
  EXPECT_EQ(loadString(4242), "");
  EXPECT_FALSE(hasString(4242));
}

TEST_F(StringTableTest, SeveralTablesAreSearchedAndInstallingTwiceIsHarmless) {
  static const StringEntry entries[] = {{5, "five"}, {61252, "shadowed"}};
  static const StringTableData extra{entries, 2};
  StringTable::install(extra);
  StringTable::install(extra);
  EXPECT_EQ(loadString(5), "five");
  EXPECT_EQ(loadString(61252), "Card Unplugged");  // the first installed table wins
}

struct SourceCase {
  const char* name;
  const char* source;
  const char* error;  // nullptr: parses
};

TEST(StringTableSource, ParsesOrNamesTheFaultyLine) {
  const SourceCase cases[] = {
      {"crlf and comments", "# c\r\n\r\n2\tb\r\n1\ta\r\n", nullptr},
      {"no tab", "1 a\n", "line 1: the id must be followed by one TAB"},
      {"no id", "\ta\n", "line 1: a line must start with a decimal id"},
      {"zero id", "0\ta\n", "line 1: the id 0 is not allowed"},
      {"id too large", "65536\ta\n", "line 1: the id is above 65535"},
      {"duplicate", "7\ta\n\n7\tb\n", "line 3: id 7 already given on line 1"},
      {"bad escape", "1\ta\\q\n", "line 1: unknown escape \\q"},
      {"dangling backslash", "1\ta\\\n", "line 1: a backslash ends the text"},
      {"invalid utf-8", "1\t\xC3\x28\n", "line 1: the text is not valid UTF-8"},
      {"overlong utf-8", "1\t\xC0\xAF\n", "line 1: the text is not valid UTF-8"},
      {"truncated utf-8", "1\t\xE6\x97\n", "line 1: the text is not valid UTF-8"},
  };
  for (const SourceCase& c : cases) {
    std::vector<SourceString> out;
    std::string error;
    const bool ok = parseStringSource(c.source, out, error);
    if (c.error) {
      EXPECT_FALSE(ok) << c.name;
      EXPECT_EQ(error, c.error) << c.name;
    } else {
      ASSERT_TRUE(ok) << c.name << ": " << error;
      ASSERT_EQ(out.size(), 2u);
      EXPECT_EQ(out[0].id, 1u);  // sorted by id
      EXPECT_EQ(out[0].text, "a");
    }
  }
}

TEST(StringTableSource, LiteralsSurviveAnyByte) {
  EXPECT_EQ(cxxStringLiteral("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(cxxStringLiteral(std::string("\x01" "7", 2)), "\"\\0017\"");  // the digit cannot join the escape
  EXPECT_EQ(cxxStringLiteral("?\?="), "\"\\077\\077=\"");  // no trigraphs
}

// A faulty strings file stops the build with the file and line named.
TEST(StringTableGenerator, RefusesAFaultyFileWithItsLine) {
  const std::string dir = ::testing::TempDir();
  const std::string input = dir + "/bad_strings.txt";
  std::ofstream(input) << "1\tok\n1\tagain\n";
  const std::string command = std::string(ZFW_STRING_TABLE_GEN) + " " + input + " tbl " + dir + "/tbl.cpp " + dir +
                              "/tbl.h 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[256];
  while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
  const int status = pclose(pipe);
  EXPECT_NE(status, 0);
  EXPECT_NE(output.find(input + ": line 2: id 1 already given on line 1"), std::string::npos) << output;
}

}  // namespace
}  // namespace zfw
