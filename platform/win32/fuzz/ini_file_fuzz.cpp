// Settings files are edited by hand: lookups and in-place writes must stay in bounds on any
// text, and a written value must read back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/win32/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  (void)plat::IniLookup(text, "Advanced", "FirstChan");
  std::string written = plat::IniWithValue(text, "Advanced", "FirstChan", "10");
  std::optional<std::string> back = plat::IniLookup(written, "Advanced", "FirstChan");
  if (!back || *back != "10") __builtin_trap();
  (void)plat::IniValueToInt(text, 1);
  return 0;
}
