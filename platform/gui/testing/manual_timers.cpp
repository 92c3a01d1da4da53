#include "platform/gui/testing/manual_timers.h"

#include <algorithm>

#include "platform/gui/wnd.h"

namespace zfw::testing {

void ManualTimers::start(Wnd& owner, int id, uint32_t ms) {
  const uint32_t period = std::max<uint32_t>(ms, 1);
  timers_[{&owner, id}] = Timer{period, clock_.tickCount() + period, ++started_};
}

void ManualTimers::stop(Wnd& owner, int id) { timers_.erase({&owner, id}); }

void ManualTimers::stopAll(Wnd& owner) {
  for (auto it = timers_.begin(); it != timers_.end();) {
    it = it->first.first == &owner ? timers_.erase(it) : std::next(it);
  }
}

void ManualTimers::advance(uint64_t ms) {
  const uint64_t target = clock_.tickCount() + ms;
  for (;;) {
    auto next = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if (it->second.due > target) continue;
      if (next == timers_.end() || it->second.due < next->second.due ||
          (it->second.due == next->second.due && it->second.order < next->second.order)) {
        next = it;
      }
    }
    if (next == timers_.end()) break;
    clock_.advanceTo(next->second.due);
    next->second.due += next->second.period;
    auto* owner = const_cast<Wnd*>(next->first.first);
    const int id = next->first.second;
    owner->dispatchTimer(id);  // may start or stop timers, this one included
  }
  clock_.advanceTo(target);
}

bool ManualTimers::isRunning(const Wnd& owner, int id) const { return timers_.count({&owner, id}) != 0; }

uint32_t ManualTimers::period(const Wnd& owner, int id) const {
  auto it = timers_.find({&owner, id});
  return it == timers_.end() ? 0 : it->second.period;
}

}  // namespace zfw::testing
