#pragma once
// Window timers on a manual clock: nothing fires until the test moves time on.
#include <cstdint>
#include <map>
#include <utility>

#include "platform/gui/base/manual_clock.h"
#include "platform/gui/timer_service.h"

namespace zfw::testing {

class ManualTimers final : public ITimerService {
 public:
  explicit ManualTimers(ManualClock& clock) : clock_(clock) {}
  void start(Wnd& owner, int id, uint32_t ms) override;
  void stop(Wnd& owner, int id) override;
  void stopAll(Wnd& owner) override;

  // Moves the clock on by `ms`, firing each timer every time it falls due, in time order.
  void advance(uint64_t ms);
  bool isRunning(const Wnd& owner, int id) const;
  uint32_t period(const Wnd& owner, int id) const;  // 0 when not running
  size_t count() const { return timers_.size(); }

 private:
  struct Timer {
    uint32_t period;
    uint64_t due;
    uint64_t order;  // ties fire in the order the timers were started
  };
  ManualClock& clock_;
  std::map<std::pair<const Wnd*, int>, Timer> timers_;
  uint64_t started_ = 0;
};

}  // namespace zfw::testing
