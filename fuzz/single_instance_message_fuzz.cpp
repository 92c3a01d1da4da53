// A line on the single-instance socket, which any process of the user can connect to: only
// decimal numbers that fit 32 bits are messages, and they read back as the number written.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/gui/desktop/single_instance.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  std::uint32_t code = 0;
  if (!zfw::LocalSingleInstance::parseMessage(line, code)) return 0;
  std::uint32_t again = 1;
  if (!zfw::LocalSingleInstance::parseMessage(std::to_string(code) + "\n", again) || again != code)
    __builtin_trap();
  return 0;
}
