#pragma once
// Counts the allocations of a benchmark's measured paths: while g_counting is on, every
// operator new is counted in g_allocations, except those of g_apartBytes bytes (when set),
// which go to g_apart. Include in exactly one file of a benchmark program: it replaces the
// global operator new and delete.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <set>

// The node of the NDIS stand-in's held-lock set (std::set<NDIS_SPIN_LOCK*>): a benchmark of a
// driver path counts these apart, as the runtime's bookkeeping rather than the driver's.
inline constexpr std::size_t kStandInLockNodeBytes = sizeof(std::_Rb_tree_node<void*>);

inline std::atomic<bool> g_counting{false};
inline std::atomic<std::uint64_t> g_allocations{0};
inline std::atomic<std::size_t> g_apartBytes{0};
inline std::atomic<std::uint64_t> g_apart{0};

void* operator new(std::size_t size) {
  if (g_counting.load(std::memory_order_relaxed)) {
    const std::size_t apart = g_apartBytes.load(std::memory_order_relaxed);
    (apart != 0 && size == apart ? g_apart : g_allocations).fetch_add(1, std::memory_order_relaxed);
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
