// The access point's CKIP parsers on arbitrary bytes: a received body opened under key
// permutation, a decrypted body through the CMIC check; and the round trips that must hold
// for any data (sealed then opened, put in CKIP form then checked).
#include <algorithm>

#include "sim/air/ckip_protection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::uint8_t keyBytes[5] = {0x01, 0x02, 0x03, 0x04, 0x05};
  const simair::CkipKey key = simair::CkipKeyOf(keyBytes);
  const simair::MacAddress destination{0x02, 0, 0, 0, 0, 9}, source{0x00, 0x1E, 0x4D, 0x2D, 0x17, 0x01};
  const std::span<const std::uint8_t> input(data, size);

  (void)simair::CkipOpen(key, 1, input);
  (void)simair::RemoveCkipHeader(key, destination, source, input);

  const auto opened = simair::CkipOpen(key, 2, simair::CkipSeal(key, 2, 0x123456, 1, input));
  if (!opened || !std::equal(opened->begin(), opened->end(), input.begin(), input.end())) __builtin_trap();

  simair::dot11::Bytes body(input.begin(), input.end());
  if (simair::AddCkipHeader(key, destination, source, 4, body)) {
    const auto back = simair::RemoveCkipHeader(key, destination, source, body);
    // The RFC 1042 form of the same EtherType and payload.
    if (!back || back->size() != size || !std::equal(back->begin() + 6, back->end(), input.begin() + 6))
      __builtin_trap();
  }
  return 0;
}
