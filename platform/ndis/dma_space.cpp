#include "platform/ndis/dma_space.h"

#include <cstdlib>
#include <cstring>

namespace ndis {
namespace {

std::size_t RoundUpToPage(std::size_t length) {
  return (length + DmaSpace::kPageSize - 1) / DmaSpace::kPageSize * DmaSpace::kPageSize;
}

}  // namespace

DmaSpace::DmaSpace(std::uint32_t firstPhysical)
    : nextPhysical_(RoundUpToPage(firstPhysical == 0 ? kPageSize : firstPhysical)) {}

DmaSpace::~DmaSpace() {
  for (auto& [physical, record] : blocks_) std::free(record.memory);
}

std::optional<DmaSpace::Block> DmaSpace::allocate(std::size_t length) {
  if (length == 0) return std::nullopt;
  const std::size_t span = RoundUpToPage(length);
  if (nextPhysical_ + span > 0xFFFFFFFFull) return std::nullopt;
  auto* memory = static_cast<std::uint8_t*>(std::aligned_alloc(kPageSize, span));
  if (memory == nullptr) return std::nullopt;
  std::memset(memory, kFreshPoison, span);
  const auto physical = static_cast<std::uint32_t>(nextPhysical_);
  nextPhysical_ += span + kPageSize;  // the guard page stays unmapped
  blocks_.emplace(physical, Record{memory, length});
  return Block{memory, physical, length};
}

bool DmaSpace::free(const void* virtualAddress, std::uint32_t physical, std::size_t length) {
  auto found = blocks_.find(physical);
  if (found == blocks_.end() || found->second.memory != virtualAddress ||
      found->second.length != length) {
    return false;
  }
  std::free(found->second.memory);
  blocks_.erase(found);
  return true;
}

std::span<std::uint8_t> DmaSpace::map(std::uint32_t physical, std::size_t length) {
  auto after = blocks_.upper_bound(physical);
  if (after == blocks_.begin()) return {};
  const auto& [base, record] = *std::prev(after);
  const std::uint64_t offset = physical - base;
  if (length == 0 || offset + length > record.length) return {};
  return {record.memory + offset, length};
}

bool DmaSpace::read(std::uint32_t physical, std::span<std::uint8_t> into) {
  auto bytes = map(physical, into.size());
  if (into.empty() || bytes.size() != into.size()) return false;
  std::memcpy(into.data(), bytes.data(), into.size());
  return true;
}

bool DmaSpace::write(std::uint32_t physical, std::span<const std::uint8_t> from) {
  auto bytes = map(physical, from.size());
  if (from.empty() || bytes.size() != from.size()) return false;
  std::memcpy(bytes.data(), from.data(), from.size());
  return true;
}

std::optional<DmaSpace::Block> DmaSpace::blockContaining(const void* address) const {
  const auto where = reinterpret_cast<std::uintptr_t>(address);
  for (const auto& [physical, record] : blocks_) {
    const auto start = reinterpret_cast<std::uintptr_t>(record.memory);
    if (where >= start && where - start < record.length) {
      return Block{record.memory, physical, record.length};
    }
  }
  return std::nullopt;
}

std::size_t DmaSpace::liveBytes() const {
  std::size_t total = 0;
  for (const auto& [physical, record] : blocks_) total += record.length;
  return total;
}

}  // namespace ndis
