#include "hosts/adapterctl/backend.h"

#include <cstdio>
#include <string>

#include "hosts/adapterctl/adapter_control_base.h"
#include "hosts/adapterctl/sim/sim_adapter.h"

namespace zelcon {

std::unique_ptr<IAdapterControl> CreateBackend(std::string_view selection, Notifier& notifier,
                                               plat::RegistryStore registry) {
  if (selection == "sim") return std::make_unique<SimAdapter>(SimScenario{}, notifier, registry);
  if (selection.substr(0, 4) == "sim:") {
    SimScenarioResult loaded = LoadSimScenario(std::string(selection.substr(4)));
    if (loaded.scenario)
      return std::make_unique<SimAdapter>(std::move(*loaded.scenario), notifier, registry);
    std::fprintf(stderr, "ZELCON_ADAPTER: %s\n", loaded.error.c_str());
  }
  // The control-device backend comes with the driver host; until then: no adapter.
  return std::make_unique<AdapterControlBase>(notifier, registry);
}

}  // namespace zelcon
