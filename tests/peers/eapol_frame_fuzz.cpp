// Frames from the peer, as the test host parses them.
#include <cstddef>
#include <cstdint>

#include "tests/peers/eapol_port.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto frame = peers::ParseEapolFrame({data, size});
  if (frame && frame->body.size() + 18 > size) __builtin_trap();
  return 0;
}
