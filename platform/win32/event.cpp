#include "platform/win32/event.h"

#include <chrono>

namespace plat {

void AutoResetEvent::Set() {
  {
    std::lock_guard lock(mutex_);
    signalled_ = true;
  }
  signal_.notify_one();
}

void AutoResetEvent::Reset() {
  std::lock_guard lock(mutex_);
  signalled_ = false;
}

bool AutoResetEvent::Wait(std::uint32_t timeoutMs) {
  std::unique_lock lock(mutex_);
  // The predicate absorbs spurious wake-ups and a signal another waiter took first.
  const auto isSignalled = [this] { return signalled_; };
  if (timeoutMs == kInfinite) {
    signal_.wait(lock, isSignalled);
  } else if (!signal_.wait_for(lock, std::chrono::milliseconds(timeoutMs), isSignalled)) {
    return false;
  }
  signalled_ = false;
  return true;
}

}  // namespace plat
