#include "platform/gui/base/clock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace zfw {
namespace {

using Steady = std::chrono::steady_clock;

SystemClock& systemClock() {
  static SystemClock instance;
  return instance;
}

std::atomic<IClock*> installed{nullptr};

}  // namespace

uint64_t SystemClock::tickCount() const {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now().time_since_epoch()).count());
}

void SystemClock::sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void SystemClock::waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                            uint64_t deadline) {
  if (deadline == UINT64_MAX) {
    cv.wait(lock);
    return;
  }
  const uint64_t now = tickCount();
  if (now >= deadline) return;
  cv.wait_for(lock, std::chrono::milliseconds(deadline - now));
}

IClock& clock() {
  IClock* c = installed.load(std::memory_order_acquire);
  return c ? *c : systemClock();
}

IClock* setClock(IClock* c) {
  IClock* previous = installed.exchange(c, std::memory_order_acq_rel);
  return previous ? previous : &systemClock();
}

}  // namespace zfw
