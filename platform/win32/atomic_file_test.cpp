#include "platform/win32/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/win32/test_file_size_limit.h"
#include "platform/win32/test_temp_dir.h"

namespace plat {
namespace {

size_t FilesIn(const std::string& dir) {
  size_t n = 0;
  for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}

TEST(AtomicFile, ReplacesContentsAndKeepsMode) {
  TestTempDir dir;
  std::string path = dir.File("data");
  ASSERT_TRUE(WriteFileAtomically(path, "first"));
  ::chmod(path.c_str(), 0640);
  ASSERT_TRUE(WriteFileAtomically(path, std::string("second\0x", 8)));
  EXPECT_EQ(ReadWholeFile(path, 100), std::string("second\0x", 8));
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

TEST(AtomicFile, FailedWriteLeavesOldFileAndNoTemporary) {
  TestTempDir dir;
  std::string path = dir.File("data");
  ASSERT_TRUE(WriteFileAtomically(path, "old contents"));
  {
    TestFileSizeLimit full(64);
    EXPECT_FALSE(WriteFileAtomically(path, std::string(4096, 'x')));
  }
  EXPECT_EQ(ReadWholeFile(path, 100), "old contents");
  EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

TEST(AtomicFile, FailsWhenTargetCannotBeReplaced) {
  TestTempDir dir;
  EXPECT_FALSE(WriteFileAtomically(dir.File("missing/data"), "x"));
  std::filesystem::create_directory(dir.File("adir"));
  EXPECT_FALSE(WriteFileAtomically(dir.File("adir"), "x"));
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("adir")));
  EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

TEST(AtomicFile, ReadRefusesMissingOversizedAndNonRegularFiles) {
  TestTempDir dir;
  std::string path = dir.File("data");
  EXPECT_FALSE(ReadWholeFile(path, 10));
  ASSERT_TRUE(WriteFileAtomically(path, "0123456789"));
  EXPECT_EQ(ReadWholeFile(path, 10), "0123456789");
  EXPECT_FALSE(ReadWholeFile(path, 9));
  EXPECT_FALSE(ReadWholeFile(dir.Path(), 10));
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

TEST(AtomicFile, PrivateFilesAreCreatedOwnerOnlyAndExistingFilesKeepTheirMode) {
  TestTempDir dir;
  std::string path = dir.File("secret");
  ASSERT_TRUE(WriteFileAtomically(path, "pass phrase", kPrivateFileMode));
  EXPECT_EQ(ModeOf(path), 0600u);
  ::chmod(path.c_str(), 0640);  // the user chose to share it with the group
  ASSERT_TRUE(WriteFileAtomically(path, "other", kPrivateFileMode));
  EXPECT_EQ(ModeOf(path), 0640u);
  ASSERT_TRUE(WriteFileAtomically(path, "forced", FileMode{0604, false}));
  EXPECT_EQ(ModeOf(path), 0604u);
}

TEST(AtomicFile, ASymlinkStaysALinkAndItsTargetIsReplacedBesideItself) {
  TestTempDir dir;
  std::filesystem::create_directory(dir.File("real"));
  struct Case {
    const char* link;
    const char* target;  // as the link holds it
  } cases[] = {{"absolute", nullptr}, {"relative", "real/data"}, {"chain", "relative"}};
  ASSERT_TRUE(WriteFileAtomically(dir.File("real/data"), "first"));
  ::chmod(dir.File("real/data").c_str(), 0640);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.link);
    std::string target = c.target ? c.target : dir.File("real/data");
    std::filesystem::create_symlink(target, dir.File(c.link));
    ASSERT_TRUE(WriteFileAtomically(dir.File(c.link), std::string("via ") + c.link));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File(c.link)));
    EXPECT_EQ(ReadWholeFile(dir.File("real/data"), 100), std::string("via ") + c.link);
    EXPECT_EQ(ModeOf(dir.File("real/data")), 0640u);
    EXPECT_EQ(FilesIn(dir.File("real")), 1u);  // no temporary left beside the target
  }
  // A dangling link: the file it names is created, the link stays.
  std::filesystem::create_symlink("real/new", dir.File("dangling"));
  ASSERT_TRUE(WriteFileAtomically(dir.File("dangling"), "created"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("dangling")));
  EXPECT_EQ(ReadWholeFile(dir.File("real/new"), 100), "created");
}

}  // namespace
}  // namespace plat
