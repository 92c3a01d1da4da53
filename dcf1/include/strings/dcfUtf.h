#pragma once
// UTF-8 <-> UTF-16 converters with exact stopping rules: an invalid sequence ends the
// conversion and what was converted before it remains; the result flags say why it stopped.
#include <cstdint>

enum dcfUtfFlags : std::uint32_t {
  kUtfOutputFull = 1,   // the next code point did not fit
  kUtfInvalidInput = 2, // an invalid sequence stopped the conversion
  kUtfReplaced = 4,     // a code point above U+10FFFF was stored as U+FFFD
};

// A cursor over UTF-8 input. `terminated` inputs end at their NUL (end is unused).
struct Utf8Range {
  const std::uint8_t* cursor;
  const std::uint8_t* end;
  bool terminated;

  // Decodes the code point at the cursor without moving it: returns its length in bytes, or 0
  // when the sequence is invalid or cut short. Accepts the 1- to 6-byte forms; refuses
  // overlong forms, stray continuation bytes and the lead bytes 0xFE and 0xFF.
  std::uint32_t Peek(std::uint32_t& codePoint) const;
  bool AtEnd() const { return !terminated && cursor >= end; }
};

// UTF-16 input: the units from begin up to end.
struct Utf16Range {
  const char16_t* begin;
  const char16_t* end;

  // Decodes the code point at begin without moving it: returns the units it takes (1, or 2
  // for a surrogate pair), or 0 for a lone low surrogate or a high one without its low one.
  std::uint32_t Peek(std::uint32_t& codePoint) const;
  bool AtEnd() const { return begin >= end; }
};

// Decodes UTF-8 into UTF-16 units (code points from U+10000 as surrogate pairs).
// inLength < 0: the input ends at its NUL; one output unit is kept for the terminating 0,
// which is always written and counted (capacity 0 gives kUtfOutputFull at once). The NUL
// byte counts as consumed. Otherwise inLength bytes are converted and no terminator is added.
// Returns the flags; unitsWritten and bytesConsumed may be null.
std::uint32_t Utf8ToUtf16(char16_t* out, std::uint32_t capacity, std::uint32_t* unitsWritten,
                          const char* in, std::int32_t inLength, std::uint32_t* bytesConsumed);

// The same conversion into a caller's fixed buffer (user names and passwords, 257 units).
inline std::uint32_t Utf8ToUtf16Buffer(char16_t* out, std::uint32_t capacity,
                                       std::uint32_t* unitsWritten, const char* in,
                                       std::int32_t inLength, std::uint32_t* bytesConsumed) {
  return Utf8ToUtf16(out, capacity, unitsWritten, in, inLength, bytesConsumed);
}

// Encodes `units` UTF-16 units as UTF-8 (no terminator is written). A lone low surrogate or
// a high surrogate without its low one is invalid; a unit 0 ends the input.
std::uint32_t Utf16ToUtf8(std::uint8_t* out, std::uint32_t capacity, std::uint32_t* bytesWritten,
                          const char16_t* in, std::uint32_t units);
