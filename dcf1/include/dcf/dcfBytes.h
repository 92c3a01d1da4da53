#pragma once
// Byte-order and parsing helpers shared by the protocol code. All work on unaligned bytes.
#include <cstdint>

// False when fewer than 4 bytes are available; else out = the 4 bytes, most significant
// first.
inline bool ReadBigEndian32(const std::uint8_t* bytes, std::uint32_t available, std::uint32_t& out) {
  if (bytes == nullptr || available < 4) return false;
  out = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
        (std::uint32_t{bytes[2]} << 8) | bytes[3];
  return true;
}

// The 4 bytes at `bytes`, most significant first (the caller has checked the length);
// stored in out and returned.
inline std::uint32_t ByteSwapCopy32(const std::uint8_t* bytes, std::uint32_t& out) {
  ReadBigEndian32(bytes, 4, out);
  return out;
}

// The 2 bytes at `field`, most significant first.
inline std::uint16_t ReadBigEndian16(const std::uint8_t* field) {
  return static_cast<std::uint16_t>((field[0] << 8) | field[1]);
}

// As above, also stored in out.
inline std::uint16_t ReadBigEndian16(const std::uint8_t* field, std::uint16_t& out) {
  out = ReadBigEndian16(field);
  return out;
}

// out = the 8 bytes at in, in reverse order (a native 64-bit counter to or from its
// big-endian form on the air). in and out may be the same.
inline void ByteSwap64(const void* in, void* out) {
  std::uint8_t bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<const std::uint8_t*>(in)[7 - i];
  for (int i = 0; i < 8; ++i) static_cast<std::uint8_t*>(out)[i] = bytes[i];
}

inline std::uint64_t MakeU64(std::uint32_t low, std::uint32_t high) {
  return (std::uint64_t{high} << 32) | low;
}

// Reads pairs of hex digits (either case) from a NUL-terminated text into out, first digit
// high. Stops before the first pair that holds a non-hex character (the NUL included) or
// after max bytes; stores where it stopped in *end when end is given. out may be null to
// count only. Returns the bytes written.
std::uint32_t HexToBytes(std::uint8_t* out, std::uint32_t max, const char* text,
                         const char** end = nullptr);

// The first element equal to value in [first, last), or last.
inline const std::uint32_t* FindU32(const std::uint32_t* first, const std::uint32_t* last,
                                    std::uint32_t value) {
  for (; first != last; ++first) {
    if (*first == value) return first;
  }
  return last;
}

// The name the EAP code uses for FindU32.
inline const std::uint32_t* FindUInt32(const std::uint32_t* first, const std::uint32_t* last,
                                       std::uint32_t value) {
  return FindU32(first, last, value);
}
