#pragma once
// Base of every object that crosses the library's interface. The creator owns the first
// reference; the Release that brings the count to 0 destroys the object.
#include <atomic>
#include <cstdint>

#include "platform/win32/interlocked.h"

class RefCounted {
public:
  RefCounted(const RefCounted&) = delete;
  RefCounted& operator=(const RefCounted&) = delete;
  virtual ~RefCounted() = default;

  // Returns the new count.
  virtual std::uint32_t AddRef() { return plat::InterlockedIncrement(refCount_); }

  // Returns the new count; at 0 the object has deleted itself.
  virtual std::uint32_t Release() {
    const std::uint32_t count = plat::InterlockedDecrement(refCount_);
    if (count == 0) delete this;
    return count;
  }

protected:
  RefCounted() : refCount_(1) {}

private:
  std::atomic<std::uint32_t> refCount_;
};
