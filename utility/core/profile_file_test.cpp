#include "utility/core/profile_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/win32/atomic_file.h"
#include "platform/win32/test_file_size_limit.h"
#include "platform/win32/test_temp_dir.h"

namespace zelcon {
namespace {

// A record whose every byte, reserved ones included, differs from its neighbours.
PROFILE_ENTRY PatternedRecord(std::string_view name, uint8_t seed) {
  PROFILE_ENTRY p;
  auto* bytes = reinterpret_cast<uint8_t*>(&p);
  for (size_t i = 0; i < sizeof p; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + seed);
  SetFieldText(p.name, name);
  return p;
}

std::string Entry(uint32_t length, std::string_view body) {
  std::string e(4, '\0');
  for (int i = 0; i < 4; ++i) e[i] = static_cast<char>(length >> (8 * i));
  return e + std::string(body);
}

bool SameBytes(const PROFILE_ENTRY& a, const PROFILE_ENTRY& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(ProfileFile, RecordsSurviveAllBytesAndAreMaskedPerOffset) {
  std::vector<PROFILE_ENTRY> records = {MakeDefaultProfile(), PatternedRecord("office", 3)};
  std::string file = EncodeProfileFile(records, true);
  ASSERT_EQ(file.size(), 2 * 796u);
  EXPECT_EQ(file.substr(0, 4), std::string("\x18\x03\x00\x00", 4));
  // The mask, derived from the default profile's known first bytes "<D".
  uint8_t even = static_cast<uint8_t>(file[4]) ^ '<', odd = static_cast<uint8_t>(file[5]) ^ 'D';
  EXPECT_NE(even, odd);
  const auto* plain = reinterpret_cast<const uint8_t*>(&records[1]);
  for (size_t i = 0; i < 792; ++i)
    ASSERT_EQ(static_cast<uint8_t>(file[796 + 4 + i]), plain[i] ^ (i % 2 ? odd : even)) << i;

  ProfileReadResult back = ReadProfileRecords(file);
  ASSERT_TRUE(back.complete);
  ASSERT_EQ(back.records.size(), 2u);
  EXPECT_TRUE(SameBytes(back.records[0], records[0]));
  EXPECT_TRUE(SameBytes(back.records[1], records[1]));
}

TEST(ProfileFile, DamagedFilesKeepWhatCameBeforeTheDamage) {
  PROFILE_ENTRY first = PatternedRecord("first", 1), second = PatternedRecord("second", 2);
  std::string a = EncodeProfileFile({first}, true), b = EncodeProfileFile({second}, true);
  std::string bodyA = a.substr(4), bodyB = b.substr(4);
  struct Case {
    const char* what;
    std::string file;
    size_t records;
    bool complete;
    bool startsWithFirst = false;
  };
  const Case cases[] = {
      {"empty file", "", 0, true},
      {"zero length ends the file", a + Entry(0, "") + "garbage", 1, true, true},
      {"last entry shorter than announced", a + Entry(792, bodyB.substr(0, 500)), 1, false, true},
      {"cut inside a length word", a + std::string("\x18\x03", 2), 1, false, true},
      {"long entry: first 792 bytes kept, next entry aligned",
       Entry(2000, bodyA + std::string(1208, '\x77')) + b, 2, true, true},
      {"huge length hits the end of the file", a + Entry(0xFFFFFFFF, bodyB), 1, false, true},
      {"short entry: the rest of the record is zero", Entry(100, bodyA.substr(0, 100)) + b, 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ProfileReadResult r = ReadProfileRecords(c.file);
    EXPECT_EQ(r.complete, c.complete);
    ASSERT_EQ(r.records.size(), c.records);
    if (c.startsWithFirst) {
      EXPECT_TRUE(SameBytes(r.records[0], first));
    }
  }
  ProfileReadResult longEntry = ReadProfileRecords(cases[4].file);
  EXPECT_TRUE(SameBytes(longEntry.records[1], second));
  ProfileReadResult shortEntry = ReadProfileRecords(cases[6].file);
  PROFILE_ENTRY expected{};
  std::memcpy(&expected, &first, 100);
  EXPECT_TRUE(SameBytes(shortEntry.records[0], expected));
  EXPECT_TRUE(SameBytes(shortEntry.records[1], second));
}

TEST(ProfileFile, ExportsOmitTheReservedNamesTheStoreKeepsThem) {
  plat::TestTempDir dir;
  std::filesystem::create_directory(dir.File("other"));
  PROFILE_ENTRY survey = PatternedRecord("<Site Survey>", 5), home = PatternedRecord("home", 6);
  std::vector<PROFILE_ENTRY> list = {MakeDefaultProfile(), survey, home};
  std::string store = dir.File("Data.cfg");
  ASSERT_TRUE(WriteProfileFile(store, list, store));
  ASSERT_TRUE(WriteProfileFile(dir.File("other/Data.cfg"), list, store));

  ProfileReadResult kept = ReadProfileFile(store);
  ASSERT_TRUE(kept.complete);
  ASSERT_EQ(kept.records.size(), 3u);
  EXPECT_TRUE(SameBytes(kept.records[1], survey));
  ProfileReadResult exported = ReadProfileFile(dir.File("other/Data.cfg"));
  ASSERT_EQ(exported.records.size(), 1u);
  EXPECT_TRUE(SameBytes(exported.records[0], home));

  ProfileReadResult missing = ReadProfileFile(dir.File("absent.cfg"));
  EXPECT_FALSE(missing.complete);
  EXPECT_TRUE(missing.records.empty());
}

TEST(ProfileFile, FailedSaveLeavesTheOldFileByteForByte) {
  plat::TestTempDir dir;
  std::string store = dir.File("Data.cfg");
  ASSERT_TRUE(WriteProfileFile(store, {PatternedRecord("old", 9)}, store));
  std::optional<std::string> before = plat::ReadWholeFile(store, 1 << 20);
  std::vector<PROFILE_ENTRY> bigger(3, PatternedRecord("new", 4));
  {
    plat::TestFileSizeLimit diskFull(1000);
    EXPECT_FALSE(WriteProfileFile(store, bigger, store));
  }
  EXPECT_EQ(plat::ReadWholeFile(store, 1 << 20), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

}  // namespace
}  // namespace zelcon
