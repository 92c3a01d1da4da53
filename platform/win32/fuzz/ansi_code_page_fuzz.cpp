// Narrow text from callers and files through the UTF-8 "code page": any bytes convert, and
// text that came out of a conversion converts back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/win32/ansi_code_page.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view narrow(reinterpret_cast<const char*>(data), size);
  const std::u16string wide = plat::AnsiToWide(narrow);
  if (wide.size() > size) std::abort();  // never more units than bytes
  const std::string back = plat::WideToAnsi(wide);
  if (plat::AnsiToWide(back) != wide) std::abort();

  // The same bytes read as UTF-16 units (lone surrogates included).
  const std::u16string_view units(reinterpret_cast<const char16_t*>(data), size / 2);
  const std::u16string copy(units);
  const std::string encoded = plat::WideToAnsi(copy);
  const std::u16string decoded = plat::AnsiToWide(encoded);
  // Pairs survive, each unpaired surrogate became one U+FFFD: never more units, and none
  // of them unpaired.
  if (decoded.size() > copy.size()) std::abort();
  for (std::size_t i = 0; i < decoded.size(); ++i) {
    const char16_t u = decoded[i];
    if (u >= 0xDC00 && u <= 0xDFFF) std::abort();
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 1 >= decoded.size() || decoded[i + 1] < 0xDC00 || decoded[i + 1] > 0xDFFF) std::abort();
      ++i;
    }
  }
  return 0;
}
