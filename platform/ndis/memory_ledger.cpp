#include "platform/ndis/memory_ledger.h"

#include <cstdlib>
#include <cstring>

namespace ndis {

MemoryLedger::~MemoryLedger() {
  for (auto& [start, block] : blocks_) std::free(reinterpret_cast<void*>(start));
}

void* MemoryLedger::allocate(std::size_t length, std::uint32_t tag) {
  void* memory = std::malloc(length == 0 ? 1 : length);
  if (memory == nullptr) return nullptr;
  std::memset(memory, kFreshPoison, length == 0 ? 1 : length);
  const auto start = reinterpret_cast<std::uintptr_t>(memory);
  blocks_.emplace(start, Block{start, length, tag});
  return memory;
}

MemoryLedger::FreeResult MemoryLedger::free(void* address, std::size_t length) {
  auto found = blocks_.find(reinterpret_cast<std::uintptr_t>(address));
  if (found == blocks_.end()) return FreeResult::Unknown;
  const std::size_t real = found->second.length;
  std::memset(address, kFreedPoison, real == 0 ? 1 : real);
  std::free(address);
  blocks_.erase(found);
  return real == length ? FreeResult::Freed : FreeResult::WrongLength;
}

std::optional<MemoryLedger::Block> MemoryLedger::blockAt(const void* address) const {
  auto found = blocks_.find(reinterpret_cast<std::uintptr_t>(address));
  if (found == blocks_.end()) return std::nullopt;
  return found->second;
}

std::map<std::uint32_t, MemoryLedger::TagUsage> MemoryLedger::outstanding() const {
  std::map<std::uint32_t, TagUsage> usage;
  for (const auto& [start, block] : blocks_) {
    ++usage[block.tag].blocks;
    usage[block.tag].bytes += block.length;
  }
  return usage;
}

}  // namespace ndis
