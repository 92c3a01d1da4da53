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
  entries_[(head_ + count_) % kCapacity] = std::move(copy);
  ++count_;
  return true;
}

bool FrameQueue::Pop(dcfByteArray& out) {
  dcfLock lock(lock_);
  if (count_ == 0) return false;
  out = std::move(entries_[head_]);
  entries_[head_].Clear();
  head_ = (head_ + 1) % kCapacity;
  --count_;
  return true;
}

void FrameQueue::Clear() {
  dcfLock lock(lock_);
  for (dcfByteArray& entry : entries_) entry.Clear();
  head_ = count_ = 0;
}
