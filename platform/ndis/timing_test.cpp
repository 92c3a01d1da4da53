// Timers and waits in virtual time.
#include <gtest/gtest.h>

#include "platform/ndis/test_miniport.h"

namespace ndis {
namespace {

using testing::TestAdapter;

struct TimerLog {
  Scheduler* scheduler;
  std::vector<Micros> fired;
};

void Record(PVOID, PVOID context, PVOID, PVOID) {
  auto* log = static_cast<TimerLog*>(context);
  log->fired.push_back(log->scheduler->now());
  EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
}

TEST(RuntimeTimers, OneShotPeriodicRearmAndCancel) {
  TestAdapter a;
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  TimerLog once{&a.scheduler, {}}, periodic{&a.scheduler, {}};
  NDIS_MINIPORT_TIMER t1, t2;
  a.run(PASSIVE_LEVEL, [&] {
    NdisMInitializeTimer(&t1, a.miniport.adapter, Record, &once);
    NdisMInitializeTimer(&t2, a.miniport.adapter, Record, &periodic);
    NdisMSetTimer(&t1, 50);
    NdisMSetTimer(&t1, 80);  // re-arming replaces the first deadline
    NdisMSetPeriodicTimer(&t2, 30);
  });
  a.scheduler.runFor(100ms);
  EXPECT_EQ(once.fired, (std::vector<Micros>{80ms}));
  EXPECT_EQ(periodic.fired, (std::vector<Micros>{30ms, 60ms, 90ms}));
  BOOLEAN cancelled = FALSE, again = TRUE;
  a.run(DISPATCH_LEVEL, [&] {
    NdisMCancelTimer(&t2, &cancelled);
    NdisMCancelTimer(&t1, &again);  // already fired
  });
  EXPECT_TRUE(cancelled);
  EXPECT_FALSE(again);
  a.scheduler.runFor(100ms);
  EXPECT_EQ(periodic.fired.size(), 3u);
  a.host->halt();
  EXPECT_TRUE(a.host->leaks().empty());
}

TEST(RuntimeTimers, SleepRunsEverythingDueButStallRunsOnlyTheChip) {
  TestAdapter a;
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  TimerLog log{&a.scheduler, {}};
  NDIS_MINIPORT_TIMER timer;
  bool chipAnswered = false;
  a.run(PASSIVE_LEVEL, [&] {
    NdisMInitializeTimer(&timer, a.miniport.adapter, Record, &log);
    NdisMSetTimer(&timer, 1);
    a.chip.bus()->scheduleChipEvent(1500us, "mailbox", [&] { chipAnswered = true; });
    for (int i = 0; i < 400 && !chipAnswered; ++i) NdisStallExecution(5);
    EXPECT_TRUE(chipAnswered);
    EXPECT_TRUE(log.fired.empty());  // due meanwhile, but a stall lets no timer run
    NdisMSleep(2000);
    EXPECT_EQ(log.fired, (std::vector<Micros>{1500us}));  // overdue: ran as soon as the sleep began
    ULONG uptime = 0;
    NdisGetSystemUpTime(&uptime);
    EXPECT_EQ(uptime, 3u);
  });
  EXPECT_EQ(a.scheduler.now(), 3500us);
}

}  // namespace
}  // namespace ndis
