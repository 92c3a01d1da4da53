#pragma once
// An auto-reset event: Set leaves it signalled until one wait consumes the signal; signals do
// not add up (two Sets before a wait release one waiter).
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace plat {

constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

class AutoResetEvent {
public:
  explicit AutoResetEvent(bool initiallySignalled = false) : signalled_(initiallySignalled) {}
  AutoResetEvent(const AutoResetEvent&) = delete;
  AutoResetEvent& operator=(const AutoResetEvent&) = delete;

  // Signals the event and wakes one waiter, if any.
  void Set();
  // Clears a pending signal.
  void Reset();
  // Waits until signalled or until the timeout (milliseconds; kInfinite waits forever, 0
  // only tests). Returns true when it consumed a signal, false on timeout.
  bool Wait(std::uint32_t timeoutMs = kInfinite);

private:
  std::mutex mutex_;
  std::condition_variable signal_;
  bool signalled_;
};

}  // namespace plat
