#include "utility/core/network_security.h"

#include <algorithm>
#include <array>
#include <optional>

#include "utility/core/scan_records.h"

namespace zelcon {
namespace {

using Suite = std::array<uint8_t, 4>;

constexpr uint8_t kRsnElement = 48;
constexpr uint8_t kVendorElement = 221;
// Elements this short are never taken to decide.
constexpr size_t kShortestExamined = 13;

// A reader that fails, rather than reads past the end, when a field is missing.
class Fields {
public:
  explicit Fields(std::span<const uint8_t> bytes) : m_bytes(bytes) {}
  bool Skip(size_t n) {
    if (m_bytes.size() < n) return false;
    m_bytes = m_bytes.subspan(n);
    return true;
  }
  std::optional<uint16_t> Count() {
    if (m_bytes.size() < 2) return std::nullopt;
    const uint16_t n = static_cast<uint16_t>(m_bytes[0] | (m_bytes[1] << 8));
    m_bytes = m_bytes.subspan(2);
    return n;
  }
  std::optional<Suite> Take() {
    if (m_bytes.size() < 4) return std::nullopt;
    Suite s{m_bytes[0], m_bytes[1], m_bytes[2], m_bytes[3]};
    m_bytes = m_bytes.subspan(4);
    return s;
  }

private:
  std::span<const uint8_t> m_bytes;
};

struct SuiteCodes {
  std::array<uint8_t, 3> oui;
  uint32_t authFor1x;
  uint32_t authForPsk;
};

uint32_t EncryptionOf(const Suite& s, const SuiteCodes& codes) {
  if (!std::equal(codes.oui.begin(), codes.oui.end(), s.begin())) return 0;
  switch (s[3]) {
    case 1: case 5: return 1;  // WEP-40, WEP-104
    case 2: return 2;          // TKIP
    case 4: return 3;          // CCMP
    default: return 0;
  }
}

uint32_t AuthOf(const Suite& s, const SuiteCodes& codes) {
  if (!std::equal(codes.oui.begin(), codes.oui.end(), s.begin())) return 0;
  return s[3] == 1 ? codes.authFor1x : s[3] == 2 ? codes.authForPsk : 0;
}

// Version, group suite, pairwise suites, AKM suites: the first pairwise and the first AKM.
std::optional<NetworkSecurity> DecodeSuites(Fields f, const SuiteCodes& codes) {
  if (!f.Skip(2) || !f.Take()) return std::nullopt;  // version, group suite
  const std::optional<uint16_t> pairwise = f.Count();
  if (!pairwise || *pairwise == 0) return std::nullopt;
  const std::optional<Suite> firstPairwise = f.Take();
  if (!firstPairwise || !f.Skip(4 * size_t(*pairwise - 1))) return std::nullopt;
  const std::optional<uint16_t> akms = f.Count();
  if (!akms || *akms == 0) return std::nullopt;
  const std::optional<Suite> firstAkm = f.Take();
  if (!firstAkm) return std::nullopt;
  return NetworkSecurity{AuthOf(*firstAkm, codes), EncryptionOf(*firstPairwise, codes)};
}

constexpr SuiteCodes kWpaCodes{{0x00, 0x50, 0xF2}, kAuthWpa8021x, 2};
constexpr SuiteCodes kRsnCodes{{0x00, 0x0F, 0xAC}, kAuthWpa2_8021x, 9};

std::optional<NetworkSecurity> DecodeElement(uint8_t id, std::span<const uint8_t> body) {
  if (body.size() < kShortestExamined) return std::nullopt;
  if (id == kRsnElement) return DecodeSuites(Fields(body), kRsnCodes);
  if (id != kVendorElement) return std::nullopt;
  if (body[0] == 0x00 && body[1] == 0x40 && body[2] == 0x96 && body[3] == 4)
    return NetworkSecurity{0, 0};
  if (body[0] == 0x00 && body[1] == 0x50 && body[2] == 0xF2 && body[3] == 1)
    return DecodeSuites(Fields(body.subspan(4)), kWpaCodes);
  return std::nullopt;
}

}  // namespace

NetworkSecurity DecodeNetworkSecurity(std::span<const uint8_t> elements) {
  NetworkSecurity result;
  ForEachElement(elements, [&](uint8_t id, std::span<const uint8_t> body) {
    const std::optional<NetworkSecurity> decided = DecodeElement(id, body);
    if (decided) result = *decided;
    return !decided;
  });
  return result;
}

}  // namespace zelcon
