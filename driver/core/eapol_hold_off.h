#pragma once
// The EAPOL hold-off: after the EAPOL-Key watch asks for it, 10 seconds in which the
// hold-off flag stays set.
#include <cstdint>

struct CoreAdapter;

namespace zelnic::core {

inline constexpr std::uint32_t kEapolHoldOffMs = 10000;

// Sets the hold-off flag and arms its timer, whose expiry clears the flag. The caller asks
// only while the flag is clear.
void EapolHoldOff(CoreAdapter* core);

}  // namespace zelnic::core
