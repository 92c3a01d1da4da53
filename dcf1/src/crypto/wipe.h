#pragma once
// Wipe(object): dcfWipe over the whole of a context, key schedule or local array.
#include <dcf/dcfWipe.h>

namespace crypto_detail {

template <class T>
void Wipe(T& object) {
  dcfWipe(static_cast<void*>(&object), sizeof object);
}

}  // namespace crypto_detail
