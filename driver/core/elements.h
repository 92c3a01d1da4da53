#pragma once
// Information elements of beacons and probe responses: which the station keeps, and the
// element block it keeps them in (the fixed fields, then the accepted elements).
#include <cstdint>

namespace zelnic::core {

enum ElementId : std::uint8_t {
  kElementSsid = 0,
  kElementSupportedRates = 1,
  kElementFhParameters = 2,
  kElementDsParameters = 3,
  kElementCfParameters = 4,
  kElementTim = 5,
  kElementIbssParameters = 6,
  kElementErp = 42,
  kElementRsn = 48,
  kElementExtendedRates = 50,
  kElementVendor = 221,
};

// Timestamp (8), beacon interval (2), capability (2): the body's fixed part.
inline constexpr std::uint32_t kFixedFieldBytes = 12;
inline constexpr std::uint32_t kElementBlockBytes = 512;

bool IsAcceptedElement(std::uint8_t id);

// Writes id, length and the bytes at `destination`; the byte after them.
std::uint8_t* AppendElement(std::uint8_t* destination, std::uint8_t id, std::uint8_t length, const void* data);

// Zeroes the block, copies the fixed fields and then each accepted element of the body
// once (its first occurrence; RSN and vendor elements as often as they come). Stops at the
// end of the body, at an element that runs past it, or when the block is full. The bytes
// used; 0 when the body has no fixed fields.
std::uint32_t CopyElements(std::uint8_t (&block)[kElementBlockBytes], const std::uint8_t* body, std::uint32_t length);

}  // namespace zelnic::core
