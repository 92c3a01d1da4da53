#pragma once
// WEP encapsulation of one frame body with a configured key: the shared-key frame 3 needs
// it before the key table exists.
#include <cstdint>

struct CoreAdapter;

namespace zelnic::core {

// The configured transmit key's index (0..3) and bytes; false when no key is configured.
bool TransmitWepKey(const CoreAdapter* core, std::uint32_t& index, const std::uint8_t*& key, std::uint32_t& length);

// Encrypts `length` body bytes at `body + 4` in place: IV and key index in the 4 bytes at
// `body`, the ICV appended (4 bytes). `iv` is the 24-bit initialisation vector.
void WepEncrypt(std::uint8_t* body, std::uint32_t length, std::uint32_t iv, std::uint32_t keyIndex,
                const std::uint8_t* key, std::uint32_t keyLength);

}  // namespace zelnic::core
