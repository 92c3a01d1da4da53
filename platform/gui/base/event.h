#pragma once
// Events in the manner of the Windows event objects: manual-reset (stays signalled until
// reset) or auto-reset (a successful wait consumes the signal), with timed waits on the
// process-wide clock, so a manual clock drives time-outs in tests.
#include <cstdint>
#include <initializer_list>

#include "platform/gui/base/clock.h"

namespace zfw {

class Event {
 public:
  enum class Reset { Manual, Auto };
  explicit Event(Reset reset = Reset::Manual, bool signalled = false);
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void set();
  void reset();
  bool isSet() const;
  // True when the event was (or became) signalled within `ms`; false on time-out.
  bool wait(uint32_t ms = kInfinite);

 private:
  friend int waitAny(std::initializer_list<Event*> events, uint32_t ms);
  bool takeLocked();  // caller holds the shared lock
  const Reset reset_;
  bool signalled_;
};

// Waits until one of `events` is signalled: returns its index (an auto-reset event is
// consumed), or -1 when `ms` passed first. Events listed first win ties.
int waitAny(std::initializer_list<Event*> events, uint32_t ms = kInfinite);

namespace detail {
// Wakes every timed wait so it re-reads the clock (a manual clock calls this as it moves).
void wakeTimedWaits();
}  // namespace detail

}  // namespace zfw
