#include "hosts/adapterctl/supplicant/association_elements.h"

#include <algorithm>
#include <cstring>

namespace zelcon {
namespace {

// Offsets of the published NDIS records (natural alignment, little-endian).
constexpr size_t kRequestIeLengthAt = 16;
constexpr size_t kRequestIeOffsetAt = 20;
constexpr size_t kResponseIeLengthAt = 32;
constexpr size_t kResponseIeOffsetAt = 36;
constexpr size_t kAssociationHeaderBytes = 40;
constexpr size_t kBssidExLengthAt = 0;
constexpr size_t kBssidExAddressAt = 4;
constexpr size_t kBssidExSsidAt = 12;  // u32 length, 32 bytes
constexpr size_t kBssidExInfrastructureAt = 92;
constexpr uint32_t kInfrastructure = 1;
constexpr size_t kBssidExIeLengthAt = 112;
constexpr size_t kBssidExIesAt = 116;
constexpr size_t kBeaconFixedBytes = 12;

constexpr uint8_t kElementRsn = 48;
constexpr uint8_t kElementVendor = 221;
constexpr uint8_t kWpaOui[4] = {0x00, 0x50, 0xF2, 0x01};

uint32_t WordAt(std::span<const uint8_t> bytes, size_t at) {
  uint32_t value = 0;
  std::memcpy(&value, bytes.data() + at, 4);
  return value;
}

// The `length` bytes at `offset`, when they lie inside `bytes`.
std::optional<std::vector<uint8_t>> Slice(std::span<const uint8_t> bytes, uint64_t offset, uint64_t length) {
  if (offset > bytes.size() || length > bytes.size() - offset) return std::nullopt;
  return std::vector<uint8_t>(bytes.begin() + offset, bytes.begin() + offset + length);
}

}  // namespace

std::optional<AssociationElements> ParseAssociationInformation(std::span<const uint8_t> record) {
  if (record.size() < kAssociationHeaderBytes) return std::nullopt;
  auto request = Slice(record, WordAt(record, kRequestIeOffsetAt), WordAt(record, kRequestIeLengthAt));
  auto response = Slice(record, WordAt(record, kResponseIeOffsetAt), WordAt(record, kResponseIeLengthAt));
  if (!request || !response) return std::nullopt;
  return AssociationElements{std::move(*request), std::move(*response)};
}

namespace {

bool HasRsnElement(std::span<const uint8_t> elements) {
  const std::vector<uint8_t> security = SecurityElements(elements);  // whole elements only
  for (size_t at = 0; at + 2 <= security.size(); at += 2u + security[at + 1])
    if (security[at] == kElementRsn) return true;
  return false;
}

// Calls `visit` with each whole entry of the extended scan list and its elements (after the
// 12 fixed beacon bytes) until it answers true; false when an entry runs past the end.
template <class Visit>
bool EachScanEntry(std::span<const uint8_t> list, Visit visit) {
  if (list.size() < 4) return false;
  const uint32_t count = WordAt(list, 0);
  size_t at = 4;
  for (uint32_t i = 0; i < count && list.size() - at >= kBssidExIesAt; ++i) {
    const std::span<const uint8_t> entry = list.subspan(at);
    const uint32_t length = WordAt(entry, kBssidExLengthAt);
    if (length < kBssidExIesAt || length > entry.size()) return false;
    const uint32_t ieLength = WordAt(entry, kBssidExIeLengthAt);
    if (ieLength < kBeaconFixedBytes || ieLength > length - kBssidExIesAt) return false;
    if (visit(entry.first(length), entry.subspan(kBssidExIesAt + kBeaconFixedBytes, ieLength - kBeaconFixedBytes)))
      return true;
    at += length;
  }
  return true;
}

}  // namespace

std::optional<std::vector<uint8_t>> BeaconElements(std::span<const uint8_t> list,
                                                   std::span<const uint8_t, 6> bssid) {
  std::optional<std::vector<uint8_t>> found;
  EachScanEntry(list, [&](std::span<const uint8_t> entry, std::span<const uint8_t> elements) {
    if (!std::equal(bssid.begin(), bssid.end(), entry.begin() + kBssidExAddressAt)) return false;
    found.emplace(elements.begin(), elements.end());
    return true;
  });
  return found;
}

std::vector<std::array<uint8_t, 6>> RsnAccessPoints(std::span<const uint8_t> list, std::span<const uint8_t> ssid) {
  std::vector<std::array<uint8_t, 6>> found;
  EachScanEntry(list, [&](std::span<const uint8_t> entry, std::span<const uint8_t> elements) {
    const uint32_t ssidLength = WordAt(entry, kBssidExSsidAt);
    const bool sameSsid = ssidLength == ssid.size() && ssidLength <= 32 &&
                          std::equal(ssid.begin(), ssid.end(), entry.begin() + kBssidExSsidAt + 4);
    if (sameSsid && WordAt(entry, kBssidExInfrastructureAt) == kInfrastructure && HasRsnElement(elements)) {
      std::array<uint8_t, 6>& bssid = found.emplace_back();
      std::copy_n(entry.begin() + kBssidExAddressAt, 6, bssid.begin());
    }
    return false;
  });
  return found;
}

std::vector<uint8_t> SecurityElements(std::span<const uint8_t> elements) {
  std::vector<uint8_t> found;
  size_t at = 0;
  while (elements.size() - at >= 2) {
    const size_t size = 2u + elements[at + 1];
    if (size > elements.size() - at) break;
    const std::span<const uint8_t> element = elements.subspan(at, size);
    const bool wpa = element[0] == kElementVendor && size >= 6 &&
                     std::equal(std::begin(kWpaOui), std::end(kWpaOui), element.begin() + 2);
    if (element[0] == kElementRsn || wpa) found.insert(found.end(), element.begin(), element.end());
    at += size;
  }
  return found;
}

}  // namespace zelcon
