#include "platform/gui/base/manual_clock.h"

#include "platform/gui/base/event.h"

namespace zfw {

ManualClock::ManualClock(uint64_t start) : now_(start) {}

uint64_t ManualClock::tickCount() const { return now_.load(std::memory_order_acquire); }

void ManualClock::waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                            uint64_t deadline) {
  // Only the clock's movement can bring the deadline nearer; advance() wakes us.
  if (tickCount() >= deadline) return;
  cv.wait(lock);
}

void ManualClock::advance(uint64_t ms) {
  now_.fetch_add(ms, std::memory_order_acq_rel);
  detail::wakeTimedWaits();
}

void ManualClock::advanceTo(uint64_t tick) {
  uint64_t current = now_.load(std::memory_order_acquire);
  while (current < tick && !now_.compare_exchange_weak(current, tick, std::memory_order_acq_rel)) {
  }
  detail::wakeTimedWaits();
}

ScopedManualClock::ScopedManualClock(uint64_t start) : clock_(start), previous_(setClock(&clock_)) {}

ScopedManualClock::~ScopedManualClock() { setClock(previous_); }

}  // namespace zfw
