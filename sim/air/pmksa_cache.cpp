#include "sim/air/pmksa_cache.h"

#include <algorithm>

#include "sim/air/authenticator_crypto.h"

namespace simair {

PmksaCache::~PmksaCache() {
  for (auto& [station, pmk] : pmks_) air::Wipe(pmk);
}

void PmksaCache::add(const MacAddress& station, std::span<const std::uint8_t> pmk) {
  air::Bytes& entry = pmks_[station];
  air::Wipe(entry);
  entry.assign(pmk.begin(), pmk.end());
}

std::optional<air::Bytes> PmksaCache::find(const MacAddress& station, const MacAddress& authenticator,
                                           std::span<const Pmkid> offered) const {
  const auto found = pmks_.find(station);
  if (found == pmks_.end() || offered.empty()) return std::nullopt;
  const air::Bytes pmkid = air::Pmkid(found->second, authenticator.data(), station.data());
  const bool named = std::any_of(offered.begin(), offered.end(), [&](const Pmkid& candidate) {
    return std::equal(candidate.begin(), candidate.end(), pmkid.begin(), pmkid.end());
  });
  if (!named) return std::nullopt;
  return found->second;
}

}  // namespace simair
