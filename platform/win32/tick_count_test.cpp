#include "platform/win32/tick_count.h"

#include <gtest/gtest.h>

#include <ctime>

namespace plat {
namespace {

std::uint32_t BootMilliseconds() {
  timespec ts{};
  clock_gettime(CLOCK_BOOTTIME, &ts);
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                                    static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u);
}

TEST(TickCount, FollowsTheBootClockWithoutASeam) {
  const std::uint32_t before = BootMilliseconds();
  const std::uint32_t tick = TickCount();
  const std::uint32_t after = BootMilliseconds();
  // Differences, as callers use them, so a wrap between the readings does not matter.
  EXPECT_LE(tick - before, after - before);
}

TEST(TickCount, ManualSeamDrivesItAndWraps) {
  ManualTickCount clock(0xFFFFFF00u);
  EXPECT_EQ(TickCount(), 0xFFFFFF00u);
  clock.Advance(0x100);
  EXPECT_EQ(TickCount(), 0u);  // wraps like a 32-bit count
  clock.Advance(60000);
  EXPECT_EQ(TickCount(), 60000u);
  clock.Set(42);
  EXPECT_EQ(TickCount(), 42u);
  EXPECT_EQ(clock.Now(), 42u);
}

TEST(TickCount, NestedSeamsRestoreTheOuterOne) {
  ManualTickCount outer(100);
  {
    ManualTickCount inner(7);
    EXPECT_EQ(TickCount(), 7u);
  }
  EXPECT_EQ(TickCount(), 100u);
}

}  // namespace
}  // namespace plat
