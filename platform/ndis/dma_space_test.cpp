#include "platform/ndis/dma_space.h"

#include <gtest/gtest.h>

#include <array>

namespace ndis {
namespace {

TEST(DmaSpace, BlocksGetPageAlignedAddressesWithAGapBetween) {
  DmaSpace space;
  auto a = space.allocate(100);
  auto b = space.allocate(5000);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->physical % DmaSpace::kPageSize, 0u);
  EXPECT_EQ(b->physical % DmaSpace::kPageSize, 0u);
  EXPECT_GE(b->physical, a->physical + 2 * DmaSpace::kPageSize);  // a's page, then a guard
  EXPECT_EQ(a->virtualAddress[0], DmaSpace::kFreshPoison);
  EXPECT_EQ(b->virtualAddress[4999], DmaSpace::kFreshPoison);
  EXPECT_FALSE(space.allocate(0));
  EXPECT_EQ(space.liveBlocks(), 2u);
  EXPECT_EQ(space.liveBytes(), 5100u);
}

TEST(DmaSpace, DeviceAccessStaysInsideOneBlock) {
  DmaSpace space;
  auto block = space.allocate(64);
  ASSERT_TRUE(block);
  const std::array<std::uint8_t, 4> word{1, 2, 3, 4};
  EXPECT_TRUE(space.write(block->physical + 60, word));
  EXPECT_EQ(block->virtualAddress[63], 4);
  std::array<std::uint8_t, 4> back{};
  EXPECT_TRUE(space.read(block->physical + 60, back));
  EXPECT_EQ(back, word);

  struct Case { std::uint32_t physical; std::size_t size; };
  for (Case bad : {Case{block->physical + 61, 4},        // runs past the end
                   Case{block->physical - 4, 4},         // before the first block
                   Case{block->physical + 4096, 4},      // in the guard page
                   Case{block->physical, 0}}) {          // nothing to move
    std::vector<std::uint8_t> bytes(bad.size);
    EXPECT_FALSE(space.read(bad.physical, bytes)) << std::hex << bad.physical;
    EXPECT_FALSE(space.write(bad.physical, bytes)) << std::hex << bad.physical;
  }
}

TEST(DmaSpace, FreeNeedsTheExactBlockAndUnmapsIt) {
  DmaSpace space;
  auto block = space.allocate(256);
  ASSERT_TRUE(block);
  EXPECT_FALSE(space.free(block->virtualAddress, block->physical, 255));
  EXPECT_FALSE(space.free(block->virtualAddress + 1, block->physical, 256));
  EXPECT_EQ(space.blockContaining(block->virtualAddress + 255)->physical, block->physical);
  EXPECT_TRUE(space.free(block->virtualAddress, block->physical, 256));
  EXPECT_TRUE(space.map(block->physical, 1).empty());
  EXPECT_EQ(space.liveBlocks(), 0u);
}

}  // namespace
}  // namespace ndis
