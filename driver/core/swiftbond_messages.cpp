#include "driver/core/swiftbond_messages.h"

#include <cstring>

#include "driver/core/little_endian.h"

namespace zelnic::core {
namespace {

constexpr std::uint32_t kHeaderBytes = 16;

}  // namespace

std::uint32_t SwiftBondReplyLength(std::uint16_t type) {
  switch (type) {
    case kSwiftBondReplyFlag | kSwiftBondStart:
      return 70;  // SSID at 16..47, the 16-byte value at 54..69
    case kSwiftBondReplyFlag | kSwiftBondSecurity:
      return 144;  // the 128-byte block at 16..143
    default:
      return kHeaderBytes;
  }
}

SwiftBondRefusal ParseSwiftBondReply(const std::uint8_t* body, std::uint32_t length, SwiftBondReply& out) {
  out = SwiftBondReply{};
  if (body == nullptr || length < 10) return SwiftBondRefusal::TooShort;
  // The maker's OUI and a zero byte; the rest of the SNAP header is not looked at.
  if (body[3] != kSwiftBondSnap[3] || body[4] != kSwiftBondSnap[4] || body[5] != kSwiftBondSnap[5] || body[6] != 0)
    return SwiftBondRefusal::ForeignHeader;
  const std::uint16_t type = Get16(body + 8);
  if ((type & 0xFF00) != kSwiftBondReplyFlag) return SwiftBondRefusal::NotAReply;
  if (length < SwiftBondReplyLength(type)) return SwiftBondRefusal::TooShort;
  out.type = type;
  out.status = Get16(body + 14);
  out.data = body + kHeaderBytes;
  out.dataLength = length - kHeaderBytes;
  return SwiftBondRefusal::None;
}

std::uint32_t SwiftBondMessage::Write(std::uint8_t* body) const {
  std::memset(body, 0, kSwiftBondMaxBody);
  std::memcpy(body, kSwiftBondSnap, sizeof kSwiftBondSnap);
  Put16(body + 8, type);
  Put16(body + 10, length);
  Put16(body + 12, sequence);
  Put16(body + 14, status);
  return 8u + length;
}

}  // namespace zelnic::core
