// The element readers over driver answers: any bytes as an association record, as an
// extended scan list (looked up for a BSSID and a network taken from the input) and as an element block.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "hosts/adapterctl/supplicant/association_elements.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  (void)zelcon::ParseAssociationInformation(bytes);
  uint8_t bssid[6] = {};
  for (size_t i = 0; i < 6 && i < size; ++i) bssid[i] = data[i];
  (void)zelcon::BeaconElements(bytes, bssid);
  (void)zelcon::RsnAccessPoints(bytes, bytes.first(std::min<size_t>(size, 4)));  // any network name
  (void)zelcon::SecurityElements(bytes);
  return 0;
}
