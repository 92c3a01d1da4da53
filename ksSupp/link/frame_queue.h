#pragma once
// FrameQueue: a bounded ring of frame copies between the host's threads and the link thread,
// under its own lock. A frame that finds the ring full is dropped.
#include <cstdint>
#include <vector>

#include <collections/dcfByteArray.h>
#include <dcf/dcfCriticalSection.h>

// One slot of the ring: a frame's copy, owned by the ring from its push until its pop hands
// it to the popper.
struct FrameQueueEntry {
  bool owns = false;
  dcfByteArray frame;
};

class FrameQueue {
 public:
  static constexpr std::uint32_t kCapacity = 16;

  // A copy of prefix (may be empty) followed by frame; false when the ring was full.
  bool Push(const std::uint8_t* prefix, std::uint32_t prefixLength, const std::uint8_t* frame,
            std::uint32_t length);
  // The oldest frame into out; false when there is none.
  bool Pop(dcfByteArray& out);
  void Clear();

 private:
  dcfCriticalSection lock_;
  FrameQueueEntry entries_[kCapacity];
  std::uint32_t head_ = 0;
  std::uint32_t count_ = 0;
};
