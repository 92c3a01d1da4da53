#pragma once
// The vendor data frames of the SwiftBond exchange (bodies from the SNAP header onward;
// multi-byte fields little-endian).
#include <cstdint>

#include "driver/core/snap.h"

namespace zelnic::core {
constexpr std::uint16_t kSwiftBondReplyFlag = 0x8000;
constexpr std::uint32_t kSwiftBondMaxBody = 144;

enum SwiftBondMessageType : std::uint16_t {
  kSwiftBondStart = 1,
  kSwiftBondFinish = 2,
  kSwiftBondSecurity = 3,
  kSwiftBondConfirm = 4,
};

// A reply as read from the air: the fields its type carries, each read only when the
// received body holds it.
struct SwiftBondReply {
  std::uint16_t type = 0;
  std::uint16_t status = 0;
  const std::uint8_t* data = nullptr;  // body offset 16 onward
  std::uint32_t dataLength = 0;
};

// Why a frame is not taken as a reply (the caller answers 3 and changes nothing).
enum class SwiftBondRefusal { None, ForeignHeader, NotAReply, TooShort };

// The body bytes a reply of `type` must hold to be read: 0x8001 reads up to offset 69,
// 0x8003 up to 143, the others their status.
std::uint32_t SwiftBondReplyLength(std::uint16_t type);
SwiftBondRefusal ParseSwiftBondReply(const std::uint8_t* body, std::uint32_t length, SwiftBondReply& out);

// The header of a message the station sends, after the SNAP header (body offsets 8..15).
struct SwiftBondMessage {
  std::uint16_t type;
  std::uint16_t length;  // bytes from body offset 8 to the end
  std::uint16_t sequence;
  std::uint16_t status;
  // Writes the SNAP header and this header at `body` (kSwiftBondMaxBody bytes, the rest
  // zeroed for the message's data); the body length, 8 + `length`.
  std::uint32_t Write(std::uint8_t* body) const;
};

}  // namespace zelnic::core
