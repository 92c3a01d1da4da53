// Control-device messages as a peer may send them: the request parser (the server's side)
// and the reply parser (the client's side) must refuse anything malformed without reading
// past the message, and what they accept must encode back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/ndis/control_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> message(data, size);
  if (auto request = ndis::ParseControlRequest(message, nullptr)) {
    if (ndis::EncodeControlRequest(*request) != std::vector<std::uint8_t>(data, data + size)) std::abort();
  }
  if (auto reply = ndis::ParseControlReply(message, nullptr)) {
    if (ndis::EncodeControlReply(*reply) != std::vector<std::uint8_t>(data, data + size)) std::abort();
  }
  (void)ndis::ControlRequestIdOf(message);
  return 0;
}
