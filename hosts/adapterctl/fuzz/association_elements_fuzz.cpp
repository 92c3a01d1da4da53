// The element readers over driver answers: any bytes as an association record, as an
// extended scan list (looked up for a BSSID taken from the input) and as an element block.
#include <cstddef>
#include <cstdint>

#include "hosts/adapterctl/supplicant/association_elements.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  (void)zelcon::ParseAssociationInformation(bytes);
  uint8_t bssid[6] = {};
  for (size_t i = 0; i < 6 && i < size; ++i) bssid[i] = data[i];
  (void)zelcon::BeaconElements(bytes, bssid);
  (void)zelcon::SecurityElements(bytes);
  return 0;
}
