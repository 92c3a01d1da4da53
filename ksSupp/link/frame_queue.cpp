#include "ksSupp/link/frame_queue.h"

#include <utility>

#include <dcf/dcfLock.h>

bool FrameQueue::Push(const std::uint8_t* prefix, std::uint32_t prefixLength,
                      const std::uint8_t* frame, std::uint32_t length) {
  dcfByteArray copy;
  copy.Reserve(prefixLength + length);
  copy.Append(prefix, prefixLength);
  copy.Append(frame, length);
  dcfLock lock(lock_);
  if (count_ == kCapacity) return false;
  FrameQueueEntry& entry = entries_[(head_ + count_) % kCapacity];
  entry.frame = std::move(copy);
  entry.owns = true;
  ++count_;
  return true;
}

bool FrameQueue::Pop(dcfByteArray& out) {
  dcfLock lock(lock_);
  if (count_ == 0) return false;
  FrameQueueEntry& entry = entries_[head_];
  out = std::move(entry.frame);
  entry.frame.Clear();
  entry.owns = false;
  head_ = (head_ + 1) % kCapacity;
  --count_;
  return true;
}

void FrameQueue::Clear() {
  dcfLock lock(lock_);
  for (FrameQueueEntry& entry : entries_) {
    entry.frame.Clear();
    entry.owns = false;
  }
  head_ = count_ = 0;
}
