#pragma once
// The RC4 stream cipher: the key of the legacy dynamic-WEP key descriptor, the key data of
// WPA key descriptor version 1, CCKM. The arguments come in the order the TLS library's
// own RC4 uses, so both can run on these two functions.
#include <cstddef>
#include <cstdint>

// Permutation entries are held in 32-bit words, which index faster than bytes. Wiped by
// the destructor.
struct Rc4State {
  std::int32_t x;
  std::int32_t y;
  std::int32_t S[256];
  ~Rc4State();
};

// An empty key throws dcfRangeException.
void Rc4SetKey(Rc4State& state, std::size_t keyLength, const std::uint8_t* key);
// XORs length bytes of keystream onto input; output may be input. The state carries over
// between calls, so crypting a buffer of zeros discards keystream.
void Rc4Crypt(Rc4State& state, std::size_t length, const std::uint8_t* input, std::uint8_t* output);
