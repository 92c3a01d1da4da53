#include "platform/gui/base/event.h"

#include <condition_variable>
#include <mutex>

namespace zfw {
namespace {

// One lock and one condition for every event: waits on several events at once and
// clock-driven wake-ups stay simple, and the number of events in this program is small.
std::mutex& sharedMutex() {
  static std::mutex m;
  return m;
}

std::condition_variable& sharedCondition() {
  static std::condition_variable cv;
  return cv;
}

}  // namespace

Event::Event(Reset reset, bool signalled) : reset_(reset), signalled_(signalled) {}

void Event::set() {
  {
    std::lock_guard<std::mutex> lock(sharedMutex());
    signalled_ = true;
  }
  sharedCondition().notify_all();
}

void Event::reset() {
  std::lock_guard<std::mutex> lock(sharedMutex());
  signalled_ = false;
}

bool Event::isSet() const {
  std::lock_guard<std::mutex> lock(sharedMutex());
  return signalled_;
}

bool Event::takeLocked() {
  if (!signalled_) return false;
  if (reset_ == Reset::Auto) signalled_ = false;
  return true;
}

bool Event::wait(uint32_t ms) { return waitAny({this}, ms) == 0; }

int waitAny(std::initializer_list<Event*> events, uint32_t ms) {
  const uint64_t deadline = deadlineAfter(ms);
  std::unique_lock<std::mutex> lock(sharedMutex());
  for (;;) {
    int index = 0;
    for (Event* e : events) {
      if (e->takeLocked()) return index;
      ++index;
    }
    if (deadline != UINT64_MAX && tickCount() >= deadline) return -1;
    clock().waitUntil(lock, sharedCondition(), deadline);
  }
}

namespace detail {
void wakeTimedWaits() {
  { std::lock_guard<std::mutex> lock(sharedMutex()); }
  sharedCondition().notify_all();
}
}  // namespace detail

}  // namespace zfw
