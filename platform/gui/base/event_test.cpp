#include "platform/gui/base/event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "platform/gui/base/manual_clock.h"
#include "platform/gui/base/thread.h"

namespace zfw {
namespace {

TEST(Event, ManualResetStaysSignalledAutoResetIsConsumedByOneWait) {
  ScopedManualClock clock;
  Event manual(Event::Reset::Manual);
  Event automatic(Event::Reset::Auto);
  manual.set();
  automatic.set();
  EXPECT_TRUE(manual.wait(0));
  EXPECT_TRUE(manual.wait(0));
  EXPECT_TRUE(automatic.wait(0));
  EXPECT_FALSE(automatic.wait(0));
  manual.reset();
  EXPECT_FALSE(manual.isSet());
}

TEST(Event, WaitAnyReportsTheFirstSignalledAndConsumesOnlyThat) {
  ScopedManualClock clock;
  Event stop(Event::Reset::Manual);
  Event command(Event::Reset::Auto);
  command.set();
  EXPECT_EQ(waitAny({&stop, &command}, 0), 1);
  EXPECT_EQ(waitAny({&stop, &command}, 0), -1);  // the auto-reset event was consumed
  stop.set();
  command.set();
  EXPECT_EQ(waitAny({&stop, &command}, 0), 0);  // earlier events win ties
  EXPECT_TRUE(command.isSet());                 // and the later one is left alone
}

// A timed wait on the manual clock ends only when the clock passes its deadline.
TEST(Event, TimedWaitEndsWhenTheManualClockPassesTheDeadline) {
  ScopedManualClock clock;
  Event never;
  std::atomic<int> result{-2};
  std::thread waiter([&] { result = waitAny({&never}, 5000); });
  // Move time on in small steps until the waiter gives up; real time plays no part.
  uint64_t moved = 0;
  while (result == -2) {
    clock->advance(100);
    moved += 100;
    std::this_thread::yield();
  }
  waiter.join();
  EXPECT_EQ(result, -1);
  EXPECT_GE(moved, 5000u);
}

TEST(Event, SetWakesAnInfiniteWait) {
  ScopedManualClock clock;
  Event ready;
  std::thread setter([&] { ready.set(); });
  EXPECT_TRUE(ready.wait());
  setter.join();
}

TEST(Thread, FinishedIsSignalledAndJoinTimesOutOnTheClock) {
  ScopedManualClock clock;
  Event release;
  Thread worker;
  ASSERT_TRUE(worker.start([&] { release.wait(); }));
  EXPECT_TRUE(worker.running());
  EXPECT_FALSE(worker.start([] {}));  // one run at a time
  std::atomic<bool> joined{true};
  std::thread joiner([&] { joined = worker.join(3000); });
  while (joiner.joinable() && !worker.finished().isSet()) {
    clock->advance(500);
    std::this_thread::yield();
    if (!joined) break;
  }
  joiner.join();
  EXPECT_FALSE(joined);  // the body is still waiting
  release.set();
  EXPECT_TRUE(worker.join());
  EXPECT_FALSE(worker.running());
}

TEST(Thread, AnExceptionEndsOnlyTheThread) {
  Thread worker;
  ASSERT_TRUE(worker.start([] { throw std::runtime_error("worker fault"); }));
  EXPECT_TRUE(worker.join());
  EXPECT_TRUE(worker.finished().isSet());
  EXPECT_TRUE(worker.start([] {}));  // and it can run again
  EXPECT_TRUE(worker.join());
}

TEST(ManualClock, SleepMovesTimeAtOnce) {
  ScopedManualClock clock(1000);
  sleep(5000);
  EXPECT_EQ(tickCount(), 6000u);
  clock->advanceTo(2000);  // never backwards
  EXPECT_EQ(tickCount(), 6000u);
}

}  // namespace
}  // namespace zfw
