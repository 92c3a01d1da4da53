// Registry values are text a user or a tool wrote: any keyword may hold any string.
#include <string>

#include "driver/core/config.h"
#include "platform/ndis/test_miniport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Input: runs of {keyword index, value length, value bytes}.
  const auto table = zelnic::KeywordTable();
  ndis::AdapterConfig config;
  for (size_t at = 0; at + 2 <= size;) {
    const auto row = data[at] % (table.size() + 1);
    const size_t length = std::min<size_t>(data[at + 1], size - at - 2);
    std::string value(reinterpret_cast<const char*>(data + at + 2), length);
    config.parameters[row == table.size() ? "NetworkAddress" : table[row].name] = value;
    at += 2 + length;
  }
  ndis::testing::TestAdapter adapter(config);
  if (adapter.host->initialize() != NDIS_STATUS_SUCCESS) return 0;
  zelnic::StationConfig station;
  adapter.run(PASSIVE_LEVEL, [&] { zelnic::LoadAdapterConfig(station, adapter.miniport.configuration); });
  if (station.desiredSsid.length > 32 || station.vendorDescription[100] != '\0') __builtin_trap();
  return 0;
}
