#pragma once
// Milliseconds since boot as a 32-bit count that wraps after about 49.7 days; code keeps time
// by differences of two readings, so the wrap is harmless.
#include <atomic>
#include <cstdint>

namespace plat {

std::uint32_t TickCount();

// The test seam: while a ManualTickCount exists, TickCount() returns its value instead of
// the system clock, so timers can be driven without waiting. Instances nest; the newest
// one wins and the previous one is back when it is destroyed. Set and Advance may be
// called from any thread; destroy it only when no other thread still reads the clock.
class ManualTickCount {
public:
  explicit ManualTickCount(std::uint32_t start = 0);
  ~ManualTickCount();
  ManualTickCount(const ManualTickCount&) = delete;
  ManualTickCount& operator=(const ManualTickCount&) = delete;

  void Set(std::uint32_t now);
  void Advance(std::uint32_t milliseconds);
  std::uint32_t Now() const;

private:
  std::atomic<std::uint32_t> now_;
  std::atomic<std::uint32_t>* previous_;
};

}  // namespace plat
