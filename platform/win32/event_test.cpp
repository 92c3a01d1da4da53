#include "platform/win32/event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace plat {
namespace {

TEST(AutoResetEvent, AWaitConsumesTheSignal) {
  AutoResetEvent event;
  EXPECT_FALSE(event.Wait(0));
  event.Set();
  event.Set();  // signals do not add up
  EXPECT_TRUE(event.Wait(0));
  EXPECT_FALSE(event.Wait(0));
}

TEST(AutoResetEvent, InitialStateAndReset) {
  AutoResetEvent event(true);
  event.Reset();
  EXPECT_FALSE(event.Wait(0));
  AutoResetEvent signalled(true);
  EXPECT_TRUE(signalled.Wait(kInfinite));
}

TEST(AutoResetEvent, WaitTimesOutWithoutASignal) {
  AutoResetEvent event;
  EXPECT_FALSE(event.Wait(5));
}

TEST(AutoResetEvent, SetReleasesOneBlockedWaiterAndIsConsumedByIt) {
  AutoResetEvent event;
  std::atomic<int> released{0};
  std::thread first([&] { event.Wait(); released.fetch_add(1); });
  std::thread second([&] { event.Wait(); released.fetch_add(1); });
  event.Set();
  while (released.load() == 0) std::this_thread::yield();
  // The waiter that woke took the signal: nothing is left for a third wait.
  EXPECT_FALSE(event.Wait(0));
  EXPECT_EQ(released.load(), 1);
  event.Set();
  first.join();
  second.join();
  EXPECT_EQ(released.load(), 2);
}

}  // namespace
}  // namespace plat
