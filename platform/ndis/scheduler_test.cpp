#include "platform/ndis/scheduler.h"

#include <gtest/gtest.h>

#include <atomic>
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

}  // namespace
}  // namespace ndis
