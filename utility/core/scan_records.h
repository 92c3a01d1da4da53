#pragma once
// Readers of the scan lists the adapter-control library fills. The buffers come from outside,
// so the walks are bounded: an entry is read only while it lies within the bytes returned and
// is at least as long as the fields read, and the walk stops at the first that is not.
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "hosts/adapterctl/zelcon_records.h"

namespace zelcon {

// The fields every reader uses end with the vendor element's head (offset 128).
inline constexpr size_t kScanEntryFieldsRead = offsetof(SCAN_LIST_ENTRY, Vendor) + 8;

// Entries of a ZelconQueryScanList buffer in order (at most its count). Bytes an entry does
// not have read as zero. Entries keep their position, which is what the site survey stores.
std::vector<SCAN_LIST_ENTRY> ParseScanList(std::span<const uint8_t> buffer);

// An entry's SSID, or nothing when its length exceeds 32 (every reader skips such entries).
std::optional<std::string_view> ScanEntrySsid(const SCAN_LIST_ENTRY& entry);

// A signal strength from an RSSI in dBm: 0 at -96 dBm and below, at most `most`. Any RSSI the
// adapter reports is taken (the sum is formed wide enough for all of them).
int32_t SignalAboveNoiseFloor(int32_t rssiDbm, int32_t most);

// One entry of the extended list (ZelconQueryScanListLength): its head and its elements
// after the 12 bytes of fixed beacon fields (empty when IELength is 12 or less).
struct ExtendedScanEntry {
  ZELCON_BSSID_EX_HEAD head;
  std::span<const uint8_t> elements;
};
std::vector<ExtendedScanEntry> ParseExtendedScanList(std::span<const uint8_t> buffer,
                                                     uint32_t returnedLength);

// Calls f(id, body) for each element lying wholly within `elements`; f returns false to stop.
template <typename F>
void ForEachElement(std::span<const uint8_t> elements, F f) {
  size_t pos = 0;
  while (pos + 2 <= elements.size()) {
    size_t length = elements[pos + 1];
    if (pos + 2 + length > elements.size()) return;
    if (!f(elements[pos], elements.subspan(pos + 2, length))) return;
    pos += 2 + length;
  }
}

// A directed scan for `ssid` (cut to 32 bytes) on the given channels (0 = unused).
ZELCON_SSID_SCAN MakeSsidScan(std::string_view ssid, const uint8_t (&channels)[14]);

}  // namespace zelcon
