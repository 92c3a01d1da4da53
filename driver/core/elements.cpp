#include "driver/core/elements.h"

#include <algorithm>
#include <bitset>
#include <cstring>

namespace zelnic::core {
namespace {

constexpr std::uint8_t kAcceptedElements[] = {0, 1, 2, 3, 4, 5, 6, 16, 42, 47, 48, 50, 133, 136, 149, 150, 221};

bool MayRepeat(std::uint8_t id) { return id == kElementRsn || id == kElementVendor; }

}  // namespace

bool IsAcceptedElement(std::uint8_t id) {
  return std::find(std::begin(kAcceptedElements), std::end(kAcceptedElements), id) != std::end(kAcceptedElements);
}

std::uint8_t* AppendElement(std::uint8_t* destination, std::uint8_t id, std::uint8_t length, const void* data) {
  destination[0] = id;
  destination[1] = length;
  if (length != 0) std::memcpy(destination + 2, data, length);
  return destination + 2 + length;
}

std::uint32_t CopyElements(std::uint8_t (&block)[kElementBlockBytes], const std::uint8_t* body, std::uint32_t length) {
  std::memset(block, 0, sizeof block);
  if (length < kFixedFieldBytes) return 0;
  std::memcpy(block, body, kFixedFieldBytes);
  std::uint32_t used = kFixedFieldBytes;
  std::bitset<256> copied;
  // A zero-length element (a hidden network's SSID) is an element like any other: the walk
  // goes on past it, so the elements after it are kept too.
  for (std::uint32_t at = kFixedFieldBytes; at + 2 <= length;) {
    const std::uint8_t id = body[at];
    const std::uint32_t size = 2u + body[at + 1];
    if (size > length - at) break;
    if (IsAcceptedElement(id) && (!copied[id] || MayRepeat(id))) {
      if (size > kElementBlockBytes - used) break;
      std::memcpy(block + used, body + at, size);
      used += size;
      copied[id] = true;
    }
    at += size;
  }
  return used;
}

}  // namespace zelnic::core
