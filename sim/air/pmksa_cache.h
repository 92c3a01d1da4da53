#pragma once
// The PMKSA cache the WPA2-Enterprise access points of one network share, as the access
// points of one controller do: the PMK of every successful 802.1X authentication, so that a
// station that comes back, to the same access point or to another of the network, names it
// by PMKID in its (re)association request and goes straight to the 4-way handshake. An
// access point matches a PMKID against PMKID = HMAC-SHA1-128(PMK, "PMK Name" | AA | SPA)
// with its own address as AA, so a PMKID made for another access point does not match.
#include <map>
#include <optional>
#include <span>

#include "sim/air/access_point.h"
#include "sim/air/association_security.h"
#include "sim/air/authenticator.h"

namespace simair {

class PmksaCache {
public:
  PmksaCache() = default;
  ~PmksaCache();
  PmksaCache(const PmksaCache&) = delete;
  PmksaCache& operator=(const PmksaCache&) = delete;

  // The PMK of the station's latest authentication; it replaces the station's older one.
  void add(const MacAddress& station, std::span<const std::uint8_t> pmk);
  // The cached PMK of the station when one of `offered` names it for the access point
  // `authenticator`; the caller wipes it.
  std::optional<air::Bytes> find(const MacAddress& station, const MacAddress& authenticator,
                                 std::span<const Pmkid> offered) const;

private:
  std::map<MacAddress, air::Bytes> pmks_;
};

}  // namespace simair
