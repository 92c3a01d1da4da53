// Registry key files are shared between processes and may be edited by hand: lookups and
// changes must stay in bounds on any text, and a written value must read back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/win32/registry_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  (void)plat::RegistryLookup(text, "RadioOn");
  plat::RegistryValue value = plat::RegistryValue::String(text.substr(0, 40));
  std::string written = plat::RegistryWithValue(text, "Name=\n", value);
  std::optional<plat::RegistryValue> back = plat::RegistryLookup(written, "name=\n");
  if (!back || !(*back == value)) __builtin_trap();
  return 0;
}
