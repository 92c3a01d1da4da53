#pragma once
// Zeroing of secrets that the compiler may not drop as a dead store.
#include <cstddef>
#include <string.h>

namespace crypto_detail {

inline void WipeBytes(void* p, std::size_t n) { explicit_bzero(p, n); }

template <class T>
void Wipe(T& object) {
  WipeBytes(static_cast<void*>(&object), sizeof object);
}

}  // namespace crypto_detail
