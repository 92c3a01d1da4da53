// EAP headers from a peer: whatever the bytes, the fields handed out lie inside them.
#include <dcf/dcfEapHeader.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 70000) return 0;
  const auto length = static_cast<std::uint32_t>(size);
  std::uint8_t code, identifier, type;
  std::uint16_t eapLength;
  const std::uint8_t* body = nullptr;
  std::uint32_t bodyLength = 0;
  if (ParseEapPacket(data, length, code, identifier, eapLength, type, body, bodyLength)) {
    if (eapLength > length || body < data || body + bodyLength > data + eapLength) std::abort();
    volatile std::uint8_t sink = 0;
    for (std::uint32_t i = 0; i < bodyLength; ++i) sink = static_cast<std::uint8_t>(sink ^ body[i]);
  }
  return 0;
}
