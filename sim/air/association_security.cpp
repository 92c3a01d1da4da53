#include "sim/air/association_security.h"

#include <algorithm>
#include <optional>

namespace simair {
namespace {

constexpr std::uint8_t kElementRsn = 48;
constexpr std::uint8_t kElementVendor = 221;
constexpr std::uint8_t kElementCckm = 156;
constexpr std::uint8_t kRsnOui[3] = {0x00, 0x0F, 0xAC};
constexpr std::uint8_t kWpaOui[3] = {0x00, 0x50, 0xF2};
constexpr std::uint8_t kCckmSuite[4] = {0x00, 0x40, 0x96, 0x00};
constexpr std::uint8_t kTkip = 2, kCcmp = 4, kIeee8021X = 1, kPsk = 2;

// The access point's own choices, as its beacon announces them.
struct Offer {
  std::uint8_t group;
  std::uint8_t pairwise;
  std::uint8_t akm = kPsk;
  bool cckm = false;  // CCKM's AKM too
};

std::uint16_t Read16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

bool SuiteIs(std::span<const std::uint8_t> suite, const std::uint8_t* oui, std::uint8_t type) {
  return std::equal(oui, oui + 3, suite.begin()) && suite[3] == type;
}

bool IsCckm(std::span<const std::uint8_t> suite) { return std::equal(kCckmSuite, kCckmSuite + 4, suite.begin()); }

// The suites an element names, read before any of them is judged (as hostapd parses first).
struct Suites {
  std::span<const std::uint8_t> group;     // empty: the default
  std::span<const std::uint8_t> pairwise;  // 4 bytes per suite; empty: the default
  std::span<const std::uint8_t> akms;
  std::span<const std::uint8_t> pmkids;  // 16 bytes per PMKID (RSN only)
};

// The body after the version (RSN) or after OUI, type and version (WPA): group suite, pairwise
// count and suites, AKM count and suites; for RSN then capabilities, PMKID count and PMKIDs,
// and the group management cipher. Every count must match what follows; nothing may follow.
std::optional<Suites> ParseSuites(std::span<const std::uint8_t> body, bool rsn) {
  Suites suites;
  std::size_t at = 0;
  const auto left = [&] { return body.size() - at; };
  const auto list = [&](std::span<const std::uint8_t>& into) {
    if (left() == 0) return true;
    if (left() < 2) return false;
    const std::size_t count = Read16(body, at);
    at += 2;
    if (count == 0 || left() < 4 * count) return false;
    into = body.subspan(at, 4 * count);
    at += 4 * count;
    return true;
  };
  if (left() == 0) return suites;
  if (left() < 4) return std::nullopt;
  suites.group = body.subspan(0, 4);
  at = 4;
  if (!list(suites.pairwise) || !list(suites.akms)) return std::nullopt;
  if (left() >= 2) at += 2;  // capabilities
  if (rsn && left() >= 2) {
    const std::size_t pmkids = Read16(body, at);
    at += 2;
    if (left() < 16 * pmkids) return std::nullopt;
    suites.pmkids = body.subspan(at, 16 * pmkids);
    at += 16 * pmkids;
    if (left() >= 4) at += 4;  // group management cipher
  }
  if (left() != 0) return std::nullopt;  // trailing bytes
  return suites;
}

std::uint16_t CheckSuites(std::span<const std::uint8_t> body, const std::uint8_t* oui, Offer offer, bool rsn) {
  const auto suites = ParseSuites(body, rsn);
  if (!suites) return kStatusInvalidElement;
  if (!suites->group.empty() && !SuiteIs(suites->group, oui, offer.group)) return kStatusInvalidGroupCipher;
  // The station chooses one pairwise cipher and one key management, the network's.
  if (!suites->pairwise.empty() && (suites->pairwise.size() != 4 || !SuiteIs(suites->pairwise, oui, offer.pairwise)))
    return kStatusInvalidPairwiseCipher;
  if (!suites->akms.empty() &&
      (suites->akms.size() != 4 || !(SuiteIs(suites->akms, oui, offer.akm) || (offer.cckm && IsCckm(suites->akms)))))
    return kStatusInvalidAkmp;
  return 0;
}

std::uint16_t CheckRsn(std::span<const std::uint8_t> body, Offer offer) {
  if (body.size() < 2) return kStatusInvalidElement;
  if (Read16(body, 0) != 1) return kStatusUnsupportedRsnVersion;
  return CheckSuites(body.subspan(2), kRsnOui, offer, true);
}

std::uint16_t CheckWpa(std::span<const std::uint8_t> body, Offer offer) {
  if (body.size() < 6) return kStatusInvalidElement;
  if (Read16(body, 4) != 1) return kStatusInvalidElement;
  return CheckSuites(body.subspan(6), kWpaOui, offer, false);
}

struct Found {
  std::optional<std::span<const std::uint8_t>> rsn;
  std::optional<std::span<const std::uint8_t>> wpa;
  bool malformed = false;
};

Found FindElements(std::span<const std::uint8_t> elements) {
  Found found;
  for (std::size_t at = 0; at < elements.size();) {
    if (elements.size() - at < 2 || elements.size() - at - 2 < elements[at + 1]) {
      found.malformed = true;
      break;
    }
    const auto body = elements.subspan(at + 2, elements[at + 1]);
    if (elements[at] == kElementRsn && !found.rsn) found.rsn = body;
    if (elements[at] == kElementVendor && body.size() >= 4 && std::equal(kWpaOui, kWpaOui + 3, body.begin()) &&
        body[3] == 1 && !found.wpa)
      found.wpa = body;
    at += 2 + elements[at + 1];
  }
  return found;
}

}  // namespace

std::uint16_t CheckAssociationSecurity(Security security, std::span<const std::uint8_t> elements, bool cckm) {
  if (security == Security::Open || security == Security::Wep) return 0;
  const Found found = FindElements(elements);
  if (found.malformed) return kStatusInvalidElement;
  // WPA2 networks: CCMP pairwise with a CCMP group, or a TKIP group beside WPA.
  const Offer rsnOffer{security == Security::WpaWpa2 ? kTkip : kCcmp, kCcmp,
                       security == Security::Wpa2Enterprise ? kIeee8021X : kPsk};
  const Offer wpaOffer{kTkip, kTkip, security == Security::WpaEnterprise ? kIeee8021X : kPsk,
                       security == Security::WpaEnterprise && cckm};
  const bool rsnOnly = security == Security::Wpa2 || security == Security::Wpa2Enterprise;
  const bool wpaOnly = security == Security::Wpa || security == Security::WpaEnterprise;
  if (!wpaOnly && found.rsn) return CheckRsn(*found.rsn, rsnOffer);
  if (!rsnOnly && found.wpa) return CheckWpa(*found.wpa, wpaOffer);
  return kStatusInvalidElement;
}

std::optional<std::vector<std::uint8_t>> CckmRequestElement(std::span<const std::uint8_t> elements) {
  for (std::size_t at = 0; at + 2 <= elements.size() && elements.size() - at - 2 >= elements[at + 1];
       at += 2u + elements[at + 1]) {
    if (elements[at] == kElementCckm)
      return std::vector<std::uint8_t>(elements.begin() + static_cast<std::ptrdiff_t>(at),
                                       elements.begin() + static_cast<std::ptrdiff_t>(at + 2 + elements[at + 1]));
  }
  return std::nullopt;
}

bool NamesCckm(std::span<const std::uint8_t> elements) {
  const Found found = FindElements(elements);
  if (found.malformed || !found.wpa || found.wpa->size() < 6) return false;
  const auto suites = ParseSuites(found.wpa->subspan(6), false);
  return suites && suites->akms.size() == 4 && IsCckm(suites->akms);
}

std::vector<Pmkid> OfferedPmkids(std::span<const std::uint8_t> elements) {
  const Found found = FindElements(elements);
  if (found.malformed || !found.rsn || found.rsn->size() < 2 || Read16(*found.rsn, 0) != 1) return {};
  const auto suites = ParseSuites(found.rsn->subspan(2), true);
  if (!suites) return {};
  std::vector<Pmkid> pmkids(suites->pmkids.size() / 16);
  for (std::size_t i = 0; i < pmkids.size(); ++i)
    std::copy_n(suites->pmkids.begin() + static_cast<std::ptrdiff_t>(16 * i), 16, pmkids[i].begin());
  return pmkids;
}

}  // namespace simair
