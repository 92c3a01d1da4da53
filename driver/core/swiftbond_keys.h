#pragma once
// The keys of the SwiftBond exchange. The pass-phrase field of the first message is RC4-
// encrypted under a key derived from the two MAC addresses (MD5 of each, repeated to 64
// bytes, XORed with each other and with a fixed mask the access point shares). Both
// addresses travel in the clear in every frame, so anyone who hears the exchange can derive
// the same key: the protocol hides the pass phrase from casual view only.
#include <cstddef>
#include <cstdint>

namespace zelnic::core {

// The mask both ends of the exchange mix into the RC4 key (chosen by us; sim/air's SwiftBond
// access point uses the same bytes).
constexpr std::uint8_t kSwiftBondMask[16] = {0x5A, 0x9C, 0x02, 0x53, 0x77, 0x69, 0x66, 0x74,
                                             0x42, 0x6F, 0x6E, 0x64, 0xC3, 0x1E, 0xA7, 0x40};

// MD5(BSSID × 64 bytes) ⊕ MD5(station × 64 bytes) ⊕ mask.
void SwiftBondDeriveRc4Key(std::uint8_t (&out)[16], const std::uint8_t* bssid, const std::uint8_t* station);
// Four 40-bit keys from the pass phrase's folded seed and the LCG x = x·214013 + 2531011.
void PassphraseToWep40Keys(const std::uint8_t* field, std::size_t fieldLength, std::uint8_t (&out)[20]);
// MD5 of the pass phrase repeated to 64 bytes; false for an empty pass phrase.
bool PassphraseToWep104Key(const std::uint8_t* field, std::size_t fieldLength, std::uint8_t (&out)[16]);
// The pass phrase is read up to its terminating zero, never beyond its field.
std::size_t PassphraseLength(const std::uint8_t* field, std::size_t fieldLength);

// RC4 as the exchange uses it (no discarded key stream).
struct SbRc4State {
  std::uint8_t s[256];
  std::uint8_t i;
  std::uint8_t j;
};
void SbRc4SetKey(const std::uint8_t* key, std::size_t keyLength, SbRc4State& state);
void SbRc4Crypt(std::uint8_t* buffer, std::size_t length, SbRc4State& state);
// Encrypts or decrypts in place and wipes the key schedule.
void SbRc4(const std::uint8_t* key, std::size_t keyLength, std::uint8_t* buffer, std::size_t length);

}  // namespace zelnic::core
