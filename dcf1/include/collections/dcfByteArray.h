#pragma once
// dcfByteArray: the byte array that carries frames, keys, elements, messages and UTF-8 text.
// SecureByteArray is the wiping form for keys, passwords and other secrets.
#include <collections/dcfArray.h>

class dcfByteArray : public dcfArray<std::uint8_t> {
public:
  dcfByteArray() = default;

  // Resizes to n bytes; bytes added by growth take the value.
  void ResizeFill(std::uint32_t n, std::uint8_t value);

  // Sets the array to the UTF-8 form of a NUL-terminated UTF-16 text (null = empty). The
  // conversion stops at an invalid surrogate, keeping what came before. The length counts
  // the terminating NUL, which is always written.
  void AssignUtf8(const char16_t* text);

  // Appends the bytes of a NUL-terminated string without its NUL; null appends nothing.
  std::uint32_t AppendString(const char* text);

protected:
  explicit dcfByteArray(Wiping wiping) : dcfArray<std::uint8_t>(wiping) {}
};

class SecureByteArray : public dcfByteArray {
public:
  SecureByteArray() : dcfByteArray(Wiping{}) {}
  void Free() { Clear(); }
};
