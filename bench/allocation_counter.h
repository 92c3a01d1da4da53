#pragma once
// Counts the allocations of a benchmark's measured paths: while g_counting is on, every
// operator new is counted in g_allocations, except those g_isApart says belong elsewhere (when
// set), which go to g_apart. With
// g_onlyMarkedThreads, only threads that set t_markedThread count at all (a benchmark whose
// measured path runs on a thread of its own, beside threads that only drive it). Include in
// exactly one file of a benchmark program: it replaces the global operator new and delete.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

inline std::atomic<bool> g_counting{false};
inline std::atomic<std::uint64_t> g_allocations{0};
inline std::atomic<bool (*)()> g_isApart{nullptr};
inline std::atomic<std::uint64_t> g_apart{0};
inline std::atomic<bool> g_onlyMarkedThreads{false};
inline thread_local bool t_markedThread = false;

void* operator new(std::size_t size) {
  if (g_counting.load(std::memory_order_relaxed) &&
      (!g_onlyMarkedThreads.load(std::memory_order_relaxed) || t_markedThread)) {
    bool (*isApart)() = g_isApart.load(std::memory_order_relaxed);
    const bool apart = isApart != nullptr && isApart();
    (apart ? g_apart : g_allocations).fetch_add(1, std::memory_order_relaxed);
  }
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
// GCC sees free() after an inlined new and warns; here both are ours and match.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop
