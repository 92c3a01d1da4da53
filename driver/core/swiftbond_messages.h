#pragma once
// The vendor data frames of the SwiftBond exchange (bodies from the SNAP header onward;
// multi-byte fields little-endian).
#include <cstdint>

namespace zelnic::core {

constexpr std::uint8_t kSwiftBondSnap[8] = {0xAA, 0xAA, 0x03, 0x02, 0x5A, 0x9C, 0x00, 0x01};
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

// Writes a message's header at `body` (at least kSwiftBondMaxBody bytes); its body length
// is 8 + `messageLength`.
std::uint32_t WriteSwiftBondHeader(std::uint8_t* body, std::uint16_t type, std::uint16_t messageLength,
                                   std::uint16_t sequence, std::uint16_t status);

}  // namespace zelnic::core
