#pragma once
// Time for the application framework: a millisecond tick count and sleeping, through one
// process-wide clock. Production uses the monotonic system clock; tests install a
// ManualClock so that seconds-long cycles run instantly.
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace zfw {

// "Wait forever", as a millisecond count.
constexpr uint32_t kInfinite = 0xFFFFFFFFu;

class IClock {
 public:
  virtual ~IClock() = default;
  // Milliseconds since an arbitrary fixed point; never goes backwards.
  virtual uint64_t tickCount() const = 0;
  virtual void sleep(uint32_t ms) = 0;
  // One blocking step of a timed wait on `cv` (whose mutex `lock` holds): returns when
  // notified, spuriously, or when the clock has reached `deadline` (a tick count).
  // Callers loop and re-check both their condition and the deadline.
  virtual void waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                         uint64_t deadline) = 0;
};

class SystemClock final : public IClock {
 public:
  uint64_t tickCount() const override;
  void sleep(uint32_t ms) override;
  void waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                 uint64_t deadline) override;
};

// The process-wide clock (the system clock unless another was installed).
IClock& clock();
// Installs `c` (nullptr restores the system clock); returns the previous one.
IClock* setClock(IClock* c);

inline uint64_t tickCount() { return clock().tickCount(); }
inline void sleep(uint32_t ms) { clock().sleep(ms); }

// Deadline arithmetic shared by the timed waits: kInfinite never expires.
inline uint64_t deadlineAfter(uint32_t ms) {
  return ms == kInfinite ? UINT64_MAX : tickCount() + ms;
}

}  // namespace zfw
