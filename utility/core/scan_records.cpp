#include "utility/core/scan_records.h"

#include <algorithm>
#include <cstring>

namespace zelcon {
namespace {

uint32_t ReadU32(std::span<const uint8_t> b, size_t at) {
  uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

// Calls f(entryBytes) for each entry: count from the first word, each entry `Length` bytes
// after the previous, while it lies within `limit` bytes and is at least `minLength` long.
template <typename F>
void WalkEntries(std::span<const uint8_t> buffer, size_t minLength, F f) {
  if (buffer.size() < 4) return;
  uint32_t count = ReadU32(buffer, 0);
  size_t pos = 4;
  for (uint32_t k = 0; k < count; ++k) {
    if (buffer.size() - pos < minLength) return;
    uint32_t length = ReadU32(buffer, pos);
    if (length < minLength || length > buffer.size() - pos) return;
    f(buffer.subspan(pos, length));
    pos += length;
  }
}

}  // namespace

std::vector<SCAN_LIST_ENTRY> ParseScanList(std::span<const uint8_t> buffer) {
  std::vector<SCAN_LIST_ENTRY> entries;
  WalkEntries(buffer, kScanEntryFieldsRead, [&](std::span<const uint8_t> bytes) {
    SCAN_LIST_ENTRY e{};
    std::memcpy(&e, bytes.data(), std::min(bytes.size(), sizeof e));
    entries.push_back(e);
  });
  return entries;
}

int32_t SignalAboveNoiseFloor(int32_t rssiDbm, int32_t most) {
  return static_cast<int32_t>(std::clamp<int64_t>(int64_t{rssiDbm} + 96, 0, most));
}

std::optional<std::string_view> ScanEntrySsid(const SCAN_LIST_ENTRY& entry) {
  if (entry.SsidLength > 32) return std::nullopt;
  return std::string_view(reinterpret_cast<const char*>(entry.Ssid), entry.SsidLength);
}

std::vector<ExtendedScanEntry> ParseExtendedScanList(std::span<const uint8_t> buffer,
                                                     uint32_t returnedLength) {
  std::vector<ExtendedScanEntry> entries;
  buffer = buffer.first(std::min<size_t>(buffer.size(), returnedLength));
  WalkEntries(buffer, sizeof(ZELCON_BSSID_EX_HEAD), [&](std::span<const uint8_t> bytes) {
    ExtendedScanEntry e{};
    std::memcpy(&e.head, bytes.data(), sizeof e.head);
    std::span<const uint8_t> ies = bytes.subspan(sizeof e.head);
    size_t ieLength = std::min<size_t>(e.head.IELength, ies.size());
    if (ieLength > 12) e.elements = ies.subspan(12, ieLength - 12);
    entries.push_back(e);
  });
  return entries;
}

ZELCON_SSID_SCAN MakeSsidScan(std::string_view ssid, const uint8_t (&channels)[14]) {
  ZELCON_SSID_SCAN scan{};
  ssid = ssid.substr(0, 32);
  scan.SsidLength = static_cast<uint32_t>(ssid.size());
  std::memcpy(scan.Ssid, ssid.data(), ssid.size());
  std::memcpy(scan.Channel, channels, 14);
  return scan;
}

}  // namespace zelcon
