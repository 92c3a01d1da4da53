#pragma once
// Strings crossing the interface in their UTF-16 ("W") form.
#include <cstdint>
#include <string>

#include <collections/dcfByteArray.h>
#include <ksstk.h>

// The UTF-8 form of a string that a W entry point or a W host answer hands the library.
// The buffer takes 4 bytes per UTF-16 unit and the NUL, so it never runs out of room; the
// conversion ends at the first invalid surrogate sequence or unit 0 and keeps what came
// before; a null string gives "". The copy is wiped when it goes: W strings are often
// passwords.
class Utf8FromWide {
public:
  explicit Utf8FromWide(const KSSTK_WCHAR* text) { bytes_.AssignUtf8(text); }

  const char* Get() const { return reinterpret_cast<const char*>(bytes_.Data()); }
  // Bytes before the NUL.
  std::uint32_t Length() const { return bytes_.Length() - 1; }

private:
  SecureByteArray bytes_;
};

// The UTF-16 form of a library string placed into a message of a W link. The conversion
// ends at the first invalid UTF-8 sequence and keeps what came before; null gives null.
class Utf16FromUtf8 {
public:
  explicit Utf16FromUtf8(const char* text);

  // Null for a null text.
  KSSTK_WCHAR* Get() { return null_ ? nullptr : units_.data(); }

private:
  std::u16string units_;
  bool null_;
};
