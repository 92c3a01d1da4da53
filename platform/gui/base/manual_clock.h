#pragma once
// A clock that moves only when told to: tests advance it, and sleeping on it returns at
// once after moving it forward, so seconds of waiting cost nothing.
#include <atomic>

#include "platform/gui/base/clock.h"

namespace zfw {

class ManualClock final : public IClock {
 public:
  explicit ManualClock(uint64_t start = 1'000'000);
  uint64_t tickCount() const override;
  // Moves the clock on by `ms` (from any thread) and wakes timed waits.
  void sleep(uint32_t ms) override { advance(ms); }
  void waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                 uint64_t deadline) override;

  void advance(uint64_t ms);
  // Moves the clock to `tick` when that lies ahead; never backwards.
  void advanceTo(uint64_t tick);

 private:
  std::atomic<uint64_t> now_;
};

// Installs a manual clock for the lifetime of this object.
class ScopedManualClock {
 public:
  explicit ScopedManualClock(uint64_t start = 1'000'000);
  ~ScopedManualClock();
  ScopedManualClock(const ScopedManualClock&) = delete;
  ScopedManualClock& operator=(const ScopedManualClock&) = delete;
  ManualClock& operator*() { return clock_; }
  ManualClock* operator->() { return &clock_; }

 private:
  ManualClock clock_;
  IClock* previous_;
};

}  // namespace zfw
