#pragma once
// The shapes every OID table shares: a query's answer of n bytes (the "query tail") and a
// set's input read as words.
#include <cstdint>

#include "platform/ndis/ndis.h"

namespace zelnic::core {

struct OidQuery {
  PVOID buffer;
  ULONG length;
  PULONG written;
  PULONG needed;
};

// n bytes need a buffer of n: else BytesNeeded n, nothing written, BUFFER_TOO_SHORT. The
// core's table also reports BytesNeeded n on success (`alsoNeeded`), the chip layer's not.
// An empty answer fits any buffer, even none: "too short, needs 0" would send the caller
// round again with the same buffer for ever.
inline NDIS_STATUS Answer(const OidQuery& q, const void* value, ULONG size, bool alsoNeeded) {
  if (size != 0 && (q.buffer == nullptr || q.length < size)) {
    *q.needed = size;
    return NDIS_STATUS_BUFFER_TOO_SHORT;
  }
  if (size != 0) NdisMoveMemory(q.buffer, value, size);
  *q.written = size;
  if (alsoNeeded) *q.needed = size;
  return NDIS_STATUS_SUCCESS;
}

inline NDIS_STATUS AnswerWord(const OidQuery& q, std::uint32_t value, bool alsoNeeded) {
  return Answer(q, &value, 4, alsoNeeded);
}

// The input's word at `offset`, when the input holds it.
inline bool InputWord(const void* buffer, ULONG length, ULONG offset, std::uint32_t* value) {
  if (buffer == nullptr || length < offset + 4) return false;
  NdisMoveMemory(value, static_cast<const std::uint8_t*>(buffer) + offset, 4);
  return true;
}

inline bool InputHalf(const void* buffer, ULONG length, ULONG offset, std::uint16_t* value) {
  if (buffer == nullptr || length < offset + 2) return false;
  NdisMoveMemory(value, static_cast<const std::uint8_t*>(buffer) + offset, 2);
  return true;
}

}  // namespace zelnic::core
