#pragma once
// The byte mask of stored profile records. These two values are part of every profile file
// ever written: never change them.
#include <cstddef>
#include <cstdint>

namespace zelcon {

inline constexpr uint8_t kProfileScrambleEven = 0x5A;  // bytes at even offsets of a record
inline constexpr uint8_t kProfileScrambleOdd = 0xC3;   // bytes at odd offsets

// Masks (or unmasks: the operation is its own inverse) `length` bytes of one record;
// offsets count from the record's start. `in` and `out` may be the same buffer.
inline void ScrambleProfile(const uint8_t* in, uint8_t* out, size_t length) {
  for (size_t i = 0; i < length; ++i)
    out[i] = in[i] ^ (i % 2 == 0 ? kProfileScrambleEven : kProfileScrambleOdd);
}

}  // namespace zelcon
