#pragma once
// The utility's profiles for the demonstration world (sim/air/worlds/demo.world): one a
// network, the WPA2-Enterprise ones first and preferred. The users are those that
// scripts/demo-radius gives FreeRADIUS.
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "utility/core/profile_entry.h"

namespace demo {

inline constexpr char kPeapUser[] = "carol";
inline constexpr char kPeapPassword[] = "zelnic demo password";
inline constexpr char kTlsUser[] = "dave";

// With the SHA-1 of dave's client certificate, the EAP-TLS profile too.
std::vector<PROFILE_ENTRY> DemoProfiles(const std::optional<std::array<std::uint8_t, 20>>& tlsCertificateHash);

}  // namespace demo
