#pragma once
// Interlocked counts: the operation and the value it returns are one atomic step, so two
// threads never see the same new value.
#include <atomic>
#include <concepts>
#include <type_traits>

namespace plat {

// Returns the incremented value; wraps like the unsigned form of T.
template <std::integral T>
T InterlockedIncrement(std::atomic<T>& value) {
  using U = std::make_unsigned_t<T>;
  return static_cast<T>(static_cast<U>(value.fetch_add(1, std::memory_order_acq_rel)) + U{1});
}

// Returns the decremented value; wraps like the unsigned form of T.
template <std::integral T>
T InterlockedDecrement(std::atomic<T>& value) {
  using U = std::make_unsigned_t<T>;
  return static_cast<T>(static_cast<U>(value.fetch_sub(1, std::memory_order_acq_rel)) - U{1});
}

}  // namespace plat
