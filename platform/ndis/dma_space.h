#pragma once
// Shared memory as a bus-master device sees it: every block gets a fake 32-bit physical
// address, page aligned, with an unmapped guard page after it, so a device that runs off
// the end of a block hits nothing instead of the neighbour. The runtime allocates the
// driver's shared memory here; a chip reaches it only through these physical addresses.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>

namespace ndis {

class DmaSpace {
public:
  static constexpr std::uint32_t kPageSize = 4096;
  static constexpr std::uint8_t kFreshPoison = 0xCD;

  struct Block {
    std::uint8_t* virtualAddress = nullptr;
    std::uint32_t physical = 0;
    std::size_t length = 0;
  };

  // `firstPhysical` is where the addresses start (never 0, so 0 stays "no address").
  explicit DmaSpace(std::uint32_t firstPhysical = 0x00100000);
  ~DmaSpace();
  DmaSpace(const DmaSpace&) = delete;
  DmaSpace& operator=(const DmaSpace&) = delete;

  // A fresh block filled with kFreshPoison; nullopt for length 0 or when the 32-bit
  // address space is used up.
  std::optional<Block> allocate(std::size_t length);
  // False (and nothing freed) unless all three describe one live block exactly.
  bool free(const void* virtualAddress, std::uint32_t physical, std::size_t length);

  // The bytes at [physical, physical + length) when they lie inside one live block.
  std::span<std::uint8_t> map(std::uint32_t physical, std::size_t length);
  // Copies between a device and the block that holds [physical, physical + size); false,
  // and nothing copied, when the range is empty or not inside one live block.
  bool read(std::uint32_t physical, std::span<std::uint8_t> into);
  bool write(std::uint32_t physical, std::span<const std::uint8_t> from);
  // The block that holds this host address, if any.
  std::optional<Block> blockContaining(const void* address) const;

  std::size_t liveBlocks() const { return blocks_.size(); }
  std::size_t liveBytes() const;

private:
  struct Record {
    std::uint8_t* memory;
    std::size_t length;
  };
  std::map<std::uint32_t, Record> blocks_;  // by physical address
  std::uint64_t nextPhysical_;
};

}  // namespace ndis
