// Scan lists come from the adapter: every walk, and the security read from the elements,
// must stay within the bytes returned.
#include <cstddef>
#include <cstdint>
#include <span>

#include "utility/core/auto_link.h"
#include "utility/core/network_security.h"
#include "utility/core/scan_records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> bytes(data, size);
  for (const SCAN_LIST_ENTRY& e : zelcon::ParseScanList(bytes)) (void)zelcon::ScanEntrySsid(e);
  zelcon::ProfileList profiles;
  profiles.Append(PROFILE_ENTRY{});
  for (const zelcon::AutoLinkAccessPoint& ap : zelcon::FindAutoLinkAccessPoints(bytes, profiles)) {
    if (ap.ssid.size() > 32 || ap.signal < 0 || ap.signal > 40) __builtin_trap();
  }
  uint32_t reported = size >= 4 ? static_cast<uint32_t>(size - data[0] % 4) : 0;
  for (const zelcon::ExtendedScanEntry& e : zelcon::ParseExtendedScanList(bytes, reported)) {
    size_t total = 0;
    zelcon::ForEachElement(e.elements, [&](uint8_t, std::span<const uint8_t> body) {
      total += body.size() + 2;
      return true;
    });
    if (total > e.elements.size()) __builtin_trap();
    (void)zelcon::DecodeNetworkSecurity(e.elements);
  }
  return 0;
}
