#pragma once
// The driver's pool memory: every block with its tag and length, so a free with the wrong
// length, a double free and a leak are all visible. Fresh blocks are filled with 0xCD and
// freed ones with 0xDD before they go back, so code that forgets to initialise, or uses a
// block after freeing it, sees garbage rather than lucky zeros.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>

namespace ndis {

class MemoryLedger {
public:
  static constexpr std::uint8_t kFreshPoison = 0xCD;
  static constexpr std::uint8_t kFreedPoison = 0xDD;

  struct TagUsage {
    std::size_t blocks = 0;
    std::size_t bytes = 0;
    friend bool operator==(const TagUsage&, const TagUsage&) = default;
  };
  struct Block {
    std::uintptr_t start;
    std::size_t length;
    std::uint32_t tag;
  };
  enum class FreeResult { Freed, Unknown, WrongLength };

  MemoryLedger() = default;
  ~MemoryLedger();
  MemoryLedger(const MemoryLedger&) = delete;
  MemoryLedger& operator=(const MemoryLedger&) = delete;

  // Null when the system has no memory left (length 0 gets a valid one-byte block).
  void* allocate(std::size_t length, std::uint32_t tag);
  // On WrongLength the block is still freed (the driver lost track of it, not the memory).
  FreeResult free(void* address, std::size_t length);

  std::optional<Block> blockAt(const void* address) const;  // the block starting there
  std::map<std::uint32_t, TagUsage> outstanding() const;
  bool empty() const { return blocks_.empty(); }

private:
  std::map<std::uintptr_t, Block> blocks_;
};

}  // namespace ndis
