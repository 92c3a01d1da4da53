// Scenario files are written by hand: the parser must stay in bounds and within its limits
// on any text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "hosts/adapterctl/sim/sim_scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zelcon::SimScenarioResult r =
      zelcon::ParseSimScenario(std::string_view(reinterpret_cast<const char*>(data), size));
  if (r.scenario && (r.scenario->networks.size() > zelcon::SimScenario::kMaxNetworks ||
                     r.scenario->events.size() > zelcon::SimScenario::kMaxEvents))
    __builtin_trap();
  return 0;
}
