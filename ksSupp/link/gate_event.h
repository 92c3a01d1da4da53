#pragma once
// The link thread's gate: an auto-reset event, not signalled at first, that every queued host
// call sets to wake the thread; the thread waits on it until its next timer.
#include <cstdint>

#include "platform/win32/event.h"

class GateEvent {
 public:
  void Set() { event_.Set(); }
  // True when a signal woke the thread, false when the wait timed out.
  bool Wait(std::uint32_t timeoutMs) { return event_.Wait(timeoutMs); }

 private:
  plat::AutoResetEvent event_{false};
};
