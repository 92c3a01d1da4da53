#include "platform/win32/tick_count.h"

#include <ctime>

namespace plat {
namespace {

std::atomic<std::atomic<std::uint32_t>*> g_manual{nullptr};

std::uint32_t BootClockMilliseconds() {
  timespec ts{};
  clock_gettime(CLOCK_BOOTTIME, &ts);
  const auto ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                  static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(ms);  // keeps the low 32 bits: the count wraps
}

}  // namespace

std::uint32_t TickCount() {
  if (auto* manual = g_manual.load(std::memory_order_acquire)) {
    return manual->load(std::memory_order_acquire);
  }
  return BootClockMilliseconds();
}

ManualTickCount::ManualTickCount(std::uint32_t start)
    : now_(start), previous_(g_manual.exchange(&now_, std::memory_order_acq_rel)) {}

ManualTickCount::~ManualTickCount() { g_manual.store(previous_, std::memory_order_release); }

void ManualTickCount::Set(std::uint32_t now) { now_.store(now, std::memory_order_release); }

void ManualTickCount::Advance(std::uint32_t milliseconds) {
  now_.fetch_add(milliseconds, std::memory_order_acq_rel);
}

std::uint32_t ManualTickCount::Now() const { return now_.load(std::memory_order_acquire); }

}  // namespace plat
