#include <dcf/dcfBytes.h>
#include <dcf/dcfEapHeader.h>

namespace {
constexpr std::uint8_t kRequest = 1;
constexpr std::uint8_t kResponse = 2;
}  // namespace

bool ParseEapHeader(const std::uint8_t* packet, std::uint32_t length, std::uint8_t& code,
                    std::uint8_t& identifier, std::uint16_t& eapLength) {
  if (packet == nullptr || length < 4) return false;
  const std::uint16_t field = ReadBigEndian16(packet + 2);
  // A length field below 4 would make every length derived from it wrap.
  if (field < 4 || field > length) return false;
  code = packet[0];
  identifier = packet[1];
  eapLength = field;
  return true;
}

bool ParseEapPacket(const std::uint8_t* packet, std::uint32_t length, std::uint8_t& code,
                    std::uint8_t& identifier, std::uint16_t& eapLength, std::uint8_t& type,
                    const std::uint8_t*& data, std::uint32_t& dataLength) {
  std::uint8_t c, id;
  std::uint16_t field;
  if (!ParseEapHeader(packet, length, c, id, field)) return false;
  const bool typed = c == kRequest || c == kResponse;
  if (typed && field < 5) return false;  // no room for the type byte
  code = c;
  identifier = id;
  eapLength = field;
  type = typed ? packet[4] : 0;
  data = packet + (typed ? 5 : 4);
  dataLength = field - (typed ? 5u : 4u);
  return true;
}
