#pragma once
// Bytes that may have held a secret on their way to the driver (a key record of
// OID_802_11_ADD_KEY or OID_802_11_ADD_WEP in an I/O control's buffers) are wiped before
// their memory is reused or freed, with explicit_bzero, which the compiler does not drop as
// a dead store.
#include <string.h>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace ndis {

inline void WipeBytes(std::span<std::uint8_t> bytes) {
  if (!bytes.empty()) explicit_bzero(bytes.data(), bytes.size());
}

// Owns a buffer and wipes it when it goes.
struct WipeAndDelete {
  void operator()(std::vector<std::uint8_t>* bytes) const {
    WipeBytes(*bytes);
    delete bytes;
  }
};
using WipedBuffer = std::unique_ptr<std::vector<std::uint8_t>, WipeAndDelete>;

}  // namespace ndis
