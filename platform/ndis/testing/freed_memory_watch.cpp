#include "platform/ndis/testing/freed_memory_watch.h"

#include <malloc.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace ndis::testing {
namespace {

// Constant-initialised: operator delete may run before any dynamic initialisation.
std::atomic<bool> g_watching{false};
std::uint8_t g_pattern[FreedMemoryWatch::kMaxPattern];
std::size_t g_patternLength = 0;
std::atomic<std::size_t> g_holding{0};

// Every block goes back to free, searched first; without a size (an unsized delete), the
// whole usable block is searched.
void Free(void* p, std::size_t size) noexcept {
  if (p == nullptr) return;
  if (g_watching.load(std::memory_order_acquire)) {
    const auto* bytes = static_cast<const std::uint8_t*>(p);
    if (std::search(bytes, bytes + size, g_pattern, g_pattern + g_patternLength) != bytes + size)
      g_holding.fetch_add(1, std::memory_order_relaxed);
  }
  std::free(p);
}

}  // namespace

FreedMemoryWatch::FreedMemoryWatch(std::span<const std::uint8_t> pattern) {
  if (pattern.empty() || pattern.size() > kMaxPattern) std::abort();
  std::memcpy(g_pattern, pattern.data(), pattern.size());
  g_patternLength = pattern.size();
  g_holding = 0;
  g_watching.store(true, std::memory_order_release);
}

FreedMemoryWatch::~FreedMemoryWatch() {
  g_watching.store(false, std::memory_order_release);
  explicit_bzero(g_pattern, sizeof g_pattern);
}

std::size_t FreedMemoryWatch::blocksHoldingPattern() const { return g_holding.load(); }

}  // namespace ndis::testing

// new and delete as pairs over malloc and free (the sanitizers hold a program to its pairs);
// the aligned forms stay the library's, a pair of their own.
void* operator new(std::size_t size) {
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size == 0 ? 1 : size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size == 0 ? 1 : size); }
// GCC sees free() after an inlined new and warns; here both are ours and match.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { ndis::testing::Free(p, p != nullptr ? malloc_usable_size(p) : 0); }
void operator delete[](void* p) noexcept { ndis::testing::Free(p, p != nullptr ? malloc_usable_size(p) : 0); }
void operator delete(void* p, std::size_t size) noexcept { ndis::testing::Free(p, size); }
void operator delete[](void* p, std::size_t size) noexcept { ndis::testing::Free(p, size); }
void operator delete(void* p, const std::nothrow_t&) noexcept { operator delete(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { operator delete[](p); }
#pragma GCC diagnostic pop
