#include "platform/ndis/scheduler.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>
#include <random>
#include <thread>

namespace ndis {
namespace {

std::vector<std::string> Labels(const Scheduler& s) {
  std::vector<std::string> out;
  for (const auto& entry : s.trace()) out.push_back(entry.label);
  return out;
}

TEST(Scheduler, RunsByTimeThenByQueueOrder) {
  Scheduler s;
  s.recordTrace(true);
  std::vector<Micros> seen;
  auto note = [&] { seen.push_back(s.now()); };
  s.at(30us, EventKind::Timer, "c", note);
  s.at(10us, EventKind::Timer, "a", note);
  s.at(30us, EventKind::Chip, "d", note);  // same time as c, queued later: runs after c
  s.after(10us, EventKind::Air, "b", note);
  s.runFor(100us);
  EXPECT_EQ(Labels(s), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(seen, (std::vector<Micros>{10us, 10us, 30us, 30us}));
  EXPECT_EQ(s.now(), 100us);
}

TEST(Scheduler, ChipOnlyWaitLeavesOtherWorkQueuedAndKeepsTimeMonotonic) {
  Scheduler s;
  s.recordTrace(true);
  s.at(0us, EventKind::Passive, "driver", [&] {
    s.after(5us, EventKind::Interrupt, "isr", [] {});
    s.after(7us, EventKind::Chip, "mailbox", [] {});
    s.wait(20us, WaitScope::ChipOnly);  // a stall: only the mailbox may run
    EXPECT_EQ(s.now(), 20us);
  });
  s.runFor(50us);
  ASSERT_EQ(s.trace().size(), 3u);
  EXPECT_EQ(s.trace()[1], (TraceEntry{7us, EventKind::Chip, "mailbox"}));
  // The interrupt was due at 5 us but could only run after the stall, at 20 us.
  EXPECT_EQ(s.trace()[2], (TraceEntry{20us, EventKind::Interrupt, "isr"}));
}

TEST(Scheduler, FullWaitRunsEverythingDueNestedInsideTheWaitingEvent) {
  Scheduler s;
  s.recordTrace(true);
  bool timerRan = false;
  s.at(0us, EventKind::Passive, "init", [&] {
    s.after(1000us, EventKind::Timer, "timer", [&] { timerRan = true; });
    s.wait(2000us, WaitScope::All);
    EXPECT_TRUE(timerRan);
    EXPECT_EQ(s.now(), 2000us);
    EXPECT_EQ(s.currentKind(), EventKind::Passive);
  });
  s.runFor(1us);
  EXPECT_EQ(Labels(s), (std::vector<std::string>{"init", "timer"}));
  EXPECT_EQ(s.now(), 2000us);  // the nested wait moved the clock past the outer deadline
}

TEST(Scheduler, CancelRemovesOnlyTheNamedEvent) {
  Scheduler s;
  int ran = 0;
  EventId first = s.after(5us, EventKind::Timer, "first", [&] { ran += 1; });
  EventId second = s.after(5us, EventKind::Timer, "second", [&] { ran += 10; });
  EXPECT_TRUE(s.cancel(first));
  EXPECT_FALSE(s.cancel(first));
  EXPECT_TRUE(s.queued(second));
  s.runFor(10us);
  EXPECT_EQ(ran, 10);
  EXPECT_FALSE(s.cancel(second));
}

TEST(Scheduler, AnIdThatRanOrWasCancelledNeverNamesTheEventThatTakesItsPlace) {
  Scheduler s;
  int ran = 0;
  const EventId gone = s.after(1us, EventKind::Timer, "gone", [&] { ran += 1; });
  s.runFor(2us);
  const EventId cancelled = s.after(1us, EventKind::Timer, "cancelled", [&] { ran += 10; });
  EXPECT_TRUE(s.cancel(cancelled));
  // Queued in the storage the two above left behind.
  const EventId later = s.after(1us, EventKind::Timer, "later", [&] { ran += 100; });
  for (const EventId old : {gone, cancelled}) {
    EXPECT_FALSE(s.queued(old));
    EXPECT_FALSE(s.cancel(old));
  }
  EXPECT_TRUE(s.queued(later));
  s.runFor(2us);
  EXPECT_EQ(ran, 101);
}

TEST(Scheduler, ManyEventsQueuedAndCancelledInAnyOrderRunByTimeThenQueueOrder) {
  Scheduler s;
  std::mt19937_64 random(5);
  std::vector<std::pair<Micros, int>> expected;
  std::vector<std::pair<Micros, int>> seen;
  std::vector<std::pair<EventId, std::size_t>> cancellable;
  for (int i = 0; i < 500; ++i) {
    const Micros when(static_cast<std::int64_t>(random() % 100));
    const EventKind kind = random() % 3 == 0 ? EventKind::Chip : EventKind::Timer;
    const EventId id = s.at(when, kind, "e", [&seen, &s, i] { seen.emplace_back(s.now(), i); });
    expected.emplace_back(when, i);
    if (random() % 4 == 0) cancellable.emplace_back(id, expected.size() - 1);
  }
  for (const auto& [id, index] : cancellable) {
    EXPECT_TRUE(s.cancel(id));
    expected[index].second = -1;
  }
  std::erase_if(expected, [](const auto& e) { return e.second < 0; });
  std::stable_sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  s.runFor(200us);
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(s.queuedCount(), 0u);
}

TEST(Scheduler, ALargeClosureRunsOnceAndIsReleasedWhenItsEventIsCancelled) {
  Scheduler s;
  auto token = std::make_shared<int>(0);
  std::array<std::uint64_t, 16> bulk{};  // larger than an event keeps inline
  bulk[15] = 7;
  s.after(1us, EventKind::Host, "large", [token, bulk] { *token += static_cast<int>(bulk[15]); });
  const EventId cancelled = s.after(1us, EventKind::Host, "cancelled", [token, bulk] { *token += 1000 + static_cast<int>(bulk[0]); });
  EXPECT_EQ(token.use_count(), 3);
  s.cancel(cancelled);
  EXPECT_EQ(token.use_count(), 2);
  s.runFor(2us);
  EXPECT_EQ(*token, 7);
  EXPECT_EQ(token.use_count(), 1);
}

TEST(Scheduler, RunUntilStopsTheClockWhenTheConditionHolds) {
  Scheduler s;
  bool done = false;
  s.after(250us, EventKind::Chip, "done", [&] { done = true; });
  EXPECT_TRUE(s.runUntil([&] { return done; }, 1000us));
  EXPECT_EQ(s.now(), 250us);
  EXPECT_FALSE(s.runUntil([] { return false; }, 100us));
  EXPECT_EQ(s.now(), 350us);
}

TEST(Scheduler, RunUntilIdleGivesUpOnAPeriodicEventAtTheLimit) {
  Scheduler s;
  std::function<void()> tick = [&] { s.after(100us, EventKind::Timer, "tick", tick); };
  s.after(100us, EventKind::Timer, "tick", tick);
  EXPECT_FALSE(s.runUntilIdle(1000us));
  EXPECT_EQ(s.now(), 1000us);

  Scheduler once;
  once.after(5us, EventKind::Timer, "once", [] {});
  EXPECT_TRUE(once.runUntilIdle(1000us));
  EXPECT_EQ(once.now(), 5us);
}

TEST(Scheduler, SeedsDependOnSchedulerSeedAndComponentName) {
  Scheduler a(Scheduler::Mode::Virtual, 7), b(Scheduler::Mode::Virtual, 7),
      c(Scheduler::Mode::Virtual, 8);
  EXPECT_EQ(a.seedFor("air"), b.seedFor("air"));
  EXPECT_NE(a.seedFor("air"), a.seedFor("chip"));
  EXPECT_NE(a.seedFor("air"), c.seedFor("air"));
  auto ra = a.randomFor("ap"), rb = b.randomFor("ap");
  EXPECT_EQ(ra(), rb());
}

// A busy little world: components that re-arm themselves at random delays.
struct Component {
  Scheduler& scheduler;
  std::string name;
  std::mt19937_64 random;
  void step() {
    scheduler.after(Micros(random() % 50), EventKind::Host, name, [this] { step(); });
  }
};

std::vector<TraceEntry> RunWorld(std::uint64_t seed) {
  Scheduler s(Scheduler::Mode::Virtual, seed);
  s.recordTrace(true);
  std::vector<Component> world;
  for (const char* name : {"chip", "air", "timer"}) world.push_back({s, name, s.randomFor(name)});
  for (auto& component : world) component.step();
  s.runFor(5000us);
  return s.trace();
}

TEST(Scheduler, SameSeedSameTrace) {
  const auto first = RunWorld(42);
  EXPECT_GT(first.size(), 100u);
  EXPECT_EQ(first, RunWorld(42));
  EXPECT_NE(first, RunWorld(43));
}

TEST(Scheduler, RealTimeModeFollowsTheWallClockAndWakesOnPost) {
  Scheduler s(Scheduler::Mode::RealTime);
  std::atomic<bool> ran{false};
  std::thread poster([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    s.post(EventKind::Host, "from another thread", [&] { ran = true; });
  });
  EXPECT_TRUE(s.runUntil([&] { return ran.load(); }, 2000ms));
  poster.join();
  const Micros before = s.now();
  s.runFor(2000us);
  EXPECT_GE(s.now() - before, 2000us);
}

// A pipe's read end watched by the executor.
struct WatchedPipe {
  int ends[2] = {-1, -1};
  WatchedPipe() { EXPECT_EQ(pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0); }
  ~WatchedPipe() {
    close(ends[0]);
    close(ends[1]);
  }
  void put(char c) { EXPECT_EQ(write(ends[1], &c, 1), 1); }
  std::string drain() {
    std::string got;
    char c;
    while (read(ends[0], &c, 1) == 1) got += c;
    return got;
  }
};

TEST(Scheduler, AWatchedFileRunsItsActionOncePerArrivalInVirtualTime) {
  Scheduler s;
  s.recordTrace(true);
  WatchedPipe p;
  std::string got;
  int runs = 0;
  const auto id = s.watch(p.ends[0], EventKind::Host, "pipe", [&] {
    ++runs;
    got += p.drain();
  });
  ASSERT_TRUE(id);
  s.settle();
  EXPECT_EQ(runs, 0);
  p.put('a');
  p.put('b');
  s.settle();
  EXPECT_EQ(got, "ab");
  EXPECT_EQ(runs, 1);
  s.settle();  // read empty: nothing more until something arrives
  EXPECT_EQ(runs, 1);
  p.put('c');
  s.runFor(10us);
  EXPECT_EQ(got, "abc");
  EXPECT_EQ(Labels(s), (std::vector<std::string>{"pipe", "pipe"}));
  s.unwatch(id);
  p.put('d');
  s.settle();
  EXPECT_EQ(runs, 2);
}

TEST(Scheduler, AWatchedFileIsHeardInFullWaitsButNotInChipOnlyOnes) {
  Scheduler s;
  WatchedPipe p;
  std::vector<std::string> order;
  s.watch(p.ends[0], EventKind::Host, "pipe", [&] {
    p.drain();
    order.push_back("pipe");
  });
  s.at(0us, EventKind::Passive, "driver", [&] {
    p.put('x');
    s.wait(10us, WaitScope::ChipOnly);
    order.push_back("after the stall");
    s.wait(10us, WaitScope::All);
    order.push_back("after the sleep");
  });
  s.runFor(100us);
  EXPECT_EQ(order, (std::vector<std::string>{"after the stall", "pipe", "after the sleep"}));
}

TEST(Scheduler, AWatchRemovedByItsOwnActionIsNotRunAgain) {
  Scheduler s;
  WatchedPipe p;
  int runs = 0;
  Scheduler::WatchId id;
  id = s.watch(p.ends[0], EventKind::Host, "pipe", [&] {
    ++runs;
    s.unwatch(id);
  });
  p.put('x');
  s.settle();
  p.put('y');
  s.settle();
  EXPECT_EQ(runs, 1);
}

TEST(Scheduler, ASleepingRealTimeExecutorWakesForAWatchedFile) {
  Scheduler s(Scheduler::Mode::RealTime);
  WatchedPipe p;
  bool heard = false;
  s.watch(p.ends[0], EventKind::Host, "pipe", [&] { heard = !p.drain().empty(); });
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    p.put('x');
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(s.runUntil([&] { return heard; }, 10s));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  writer.join();
}

}  // namespace
}  // namespace ndis
