#include <gtest/gtest.h>

#include <time.h>

#include "platform/win32/disk_space.h"
#include "platform/win32/file_time.h"

namespace plat {
namespace {

TEST(FileTime, CountsHundredNanosecondsSince1601) {
  // The same clock on both sides: time() reads the coarse clock, which lags the real-time
  // clock by up to one tick, so a value read just after a second began failed the bound.
  const auto unixSeconds = [] {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec);
  };
  const std::uint64_t before = unixSeconds();
  const std::uint64_t now = FileTimeNow();
  const std::uint64_t after = unixSeconds();
  const std::uint64_t seconds = now / 10000000u - kFileTimeEpochOffsetSeconds;
  EXPECT_GE(seconds, before);
  EXPECT_LE(seconds, after);
  const FileTime split = SplitFileTime(0x0123456789ABCDEFull);
  EXPECT_EQ(split.lowDateTime, 0x89ABCDEFu);
  EXPECT_EQ(split.highDateTime, 0x01234567u);
}

TEST(DiskSpace, ReportsConsistentFiguresOrFails) {
  DiskSpace space{};
  ASSERT_TRUE(GetDiskFreeSpace(nullptr, space));  // the current directory
  EXPECT_GT(space.totalBytes, 0u);
  EXPECT_LE(space.totalFreeBytes, space.totalBytes);
  EXPECT_LE(space.freeBytesAvailableToCaller, space.totalFreeBytes);

  DiskSpace untouched{1, 2, 3};
  EXPECT_FALSE(GetDiskFreeSpace("/no/such/directory/here", untouched));
  EXPECT_EQ(untouched.totalBytes, 2u);
}

}  // namespace
}  // namespace plat
