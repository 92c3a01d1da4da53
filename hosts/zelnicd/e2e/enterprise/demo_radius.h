#pragma once
// The demo's WPA2-Enterprise network as end-to-end tests meet it: FreeRADIUS with the test's
// PKI and the demo's PEAP user, the user's certificate stores that trust the test's CA, the
// demo's profiles for that PKI, and the PMK the server handed the access point.
#include <optional>
#include <string>

#include "tests/peers/freeradius_peer.h"
#include "tests/peers/network_namespace.h"
#include "tests/peers/scratch_dir.h"
#include "utility/core/profile_entry.h"

namespace zelcon::testing {

inline constexpr char kDemoWorld[] = ZELNICD_WORLDS_DIR "/demo.world";

// The demo's profile of that name, for the test's PKI.
PROFILE_ENTRY DemoProfile(const char* name);
// The enterprise access points' RADIUS secret, as the demo world gives it.
std::string DemoRadiusSecret();
// The PMK of the last Access-Accept: the server's debug output shows MS-MPPE-Recv-Key.
std::string LastPmkHex(const std::string& log);
// FreeRADIUS on the loopback of `space` (files under `dir`), with the demo world's secret.
void StartDemoRadius(std::optional<peers::FreeRadiusPeer>& radius, peers::NetworkNamespace& space,
                     const peers::ScratchDir& dir);
// The user's certificate stores under `dir` (the environment points there): the CA of the
// server's chain as a root, the client certificate, and its key when `withClientKey`.
void FillUserStores(const peers::ScratchDir& dir, bool withClientKey);

}  // namespace zelcon::testing
