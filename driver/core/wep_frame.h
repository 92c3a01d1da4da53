#pragma once
// The configured WEP key for one frame body: the shared-key frame 3 needs
// it before the key table exists.
#include <cstdint>

#include "driver/core/wep_cipher.h"

struct CoreAdapter;

namespace zelnic::core {

// The WEP key record that sends (0..3): the one whose KeyIndex has the transmit bit, else the
// first configured; -1 when no key is configured or the transmit key was removed.
std::int32_t WepTxKeyIndex(const CoreAdapter* core);
// The configured transmit key's index (0..3) and bytes; false when no key is configured or
// the transmit key was removed.
bool TransmitWepKey(const CoreAdapter* core, std::uint32_t& index, const std::uint8_t*& key, std::uint32_t& length);

}  // namespace zelnic::core
