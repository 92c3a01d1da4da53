// The bounded frame queue between the host's threads and the link thread: 16 frames at most,
// the 17th dropped, popped in arrival order across the ring's wrap, a prefix stored before
// the frame (the pre-authentication queue's source address), and a clear that empties it.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ksSupp/link/frame_queue.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Popped(FrameQueue& queue) {
  dcfByteArray frame;
  if (!queue.Pop(frame)) return {};
  return Bytes(frame.Data(), frame.Data() + frame.Length());
}

TEST(FrameQueue, SixteenFramesInArrivalOrderAndTheSeventeenthDropped) {
  FrameQueue queue;
  // Wrap the ring first, so that order is checked across its end.
  for (std::uint8_t i = 0; i < 5; ++i) ASSERT_TRUE(queue.Push(nullptr, 0, &i, 1));
  for (int i = 0; i < 5; ++i) Popped(queue);
  for (std::uint8_t i = 0; i < FrameQueue::kCapacity; ++i) EXPECT_TRUE(queue.Push(nullptr, 0, &i, 1)) << int(i);
  const std::uint8_t late = 0xEE;
  EXPECT_FALSE(queue.Push(nullptr, 0, &late, 1)) << "the ring is full";
  for (std::uint8_t i = 0; i < FrameQueue::kCapacity; ++i) EXPECT_EQ(Popped(queue), Bytes{i});
  dcfByteArray none;
  EXPECT_FALSE(queue.Pop(none));
  EXPECT_TRUE(queue.Push(&late, 1, nullptr, 0)) << "room again once popped";
}

TEST(FrameQueue, APrefixGoesBeforeTheFrame) {
  FrameQueue queue;
  const std::uint8_t source[6] = {2, 0, 0, 0, 0, 0xAA};
  const std::uint8_t frame[4] = {2, 0, 0, 0};
  ASSERT_TRUE(queue.Push(source, 6, frame, 4));
  EXPECT_EQ(Popped(queue), (Bytes{2, 0, 0, 0, 0, 0xAA, 2, 0, 0, 0}));
}

TEST(FrameQueue, ClearDropsWhatWaits) {
  FrameQueue queue;
  for (std::uint8_t i = 0; i < FrameQueue::kCapacity; ++i) queue.Push(nullptr, 0, &i, 1);
  queue.Clear();
  dcfByteArray none;
  EXPECT_FALSE(queue.Pop(none));
  const std::uint8_t next = 7;
  ASSERT_TRUE(queue.Push(nullptr, 0, &next, 1));
  EXPECT_EQ(Popped(queue), Bytes{7});
}

}  // namespace
