// The Zero-Configuration stand-in's state file (ZELCON_ZERO_CONFIG), which a test or a user
// writes by hand: any text parses, and what it parsed to is written and read back the same.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/gui/desktop/service_control.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using zfw::SimulatedServiceControl;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string problems;
  const auto services = SimulatedServiceControl::parse(text, &problems);
  const std::string written = SimulatedServiceControl::format(services);
  const auto again = SimulatedServiceControl::parse(written);
  if (again.size() != services.size()) __builtin_trap();
  for (const auto& [name, s] : services) {
    auto it = again.find(name);
    if (it == again.end() || it->second.state != s.state ||
        it->second.queriesPerStop != s.queriesPerStop)
      __builtin_trap();
  }
  return 0;
}
