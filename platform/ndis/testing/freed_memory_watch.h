#pragma once
// Looks at memory as it is freed, for tests that a secret leaves no copy behind: while a
// FreedMemoryWatch lives, every block given back through the global operator delete is
// searched for its pattern (a key's bytes), and a block that still holds it is counted.
// freed_memory_watch.cpp replaces the global operator new and delete (over malloc and
// free): link it into a test program as an extra source, never into a library.
#include <cstddef>
#include <cstdint>
#include <span>

namespace ndis::testing {

class FreedMemoryWatch {
public:
  // Watches for `pattern` (1 to kMaxPattern bytes) until destroyed; one watch at a time.
  explicit FreedMemoryWatch(std::span<const std::uint8_t> pattern);
  ~FreedMemoryWatch();
  FreedMemoryWatch(const FreedMemoryWatch&) = delete;
  FreedMemoryWatch& operator=(const FreedMemoryWatch&) = delete;

  // Blocks freed since the watch began that still held the pattern.
  std::size_t blocksHoldingPattern() const;

  static constexpr std::size_t kMaxPattern = 64;
};

}  // namespace ndis::testing
