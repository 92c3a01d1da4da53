#pragma once
// What an access point says to the RSN or WPA element of an association request, as strict
// as hostapd: a wrong version, a count that does not match the suites that follow, a suite
// the access point does not offer, or any byte after the last field is refused.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sim/air/access_point.h"

namespace simair {

inline constexpr std::uint16_t kStatusInvalidElement = 40;
inline constexpr std::uint16_t kStatusInvalidGroupCipher = 41;
inline constexpr std::uint16_t kStatusInvalidPairwiseCipher = 42;
inline constexpr std::uint16_t kStatusInvalidAkmp = 43;
inline constexpr std::uint16_t kStatusUnsupportedRsnVersion = 44;

// 0 when the request's elements (after its fixed fields) carry what `security` needs, else
// the status code of the refusal. Open and WEP networks need no element. With `cckm` a
// wpa-enterprise network takes the CCKM AKM (00-40-96-00) as well as 802.1X.
std::uint16_t CheckAssociationSecurity(Security security, std::span<const std::uint8_t> elements, bool cckm = false);

// Whether the WPA element of a (re)association request names the CCKM AKM.
bool NamesCckm(std::span<const std::uint8_t> elements);
// The CCKM request element (ID 156, header included) of a reassociation request; nothing
// when the elements carry none or run past their end.
std::optional<std::vector<std::uint8_t>> CckmRequestElement(std::span<const std::uint8_t> elements);

using Pmkid = std::array<std::uint8_t, 16>;

// The PMKIDs the RSN element of a (re)association request carries, in order; none when the
// elements hold no well-formed RSN element.
std::vector<Pmkid> OfferedPmkids(std::span<const std::uint8_t> elements);

}  // namespace simair
