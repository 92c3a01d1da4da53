#include "hosts/adapterctl/backend.h"

#include <cstdio>
#include <string>

#include "hosts/adapterctl/adapter_control_base.h"
#include "hosts/adapterctl/device/device_adapter.h"
#include "hosts/adapterctl/sim/sim_adapter.h"
#include "platform/ndis/control_run_dir.h"

namespace zelcon {

std::unique_ptr<IAdapterControl> CreateBackend(std::string_view selection, Notifier& notifier,
                                               plat::RegistryStore registry) {
  if (selection == "sim") return std::make_unique<SimAdapter>(SimScenario{}, notifier, registry);
  if (selection.substr(0, 4) == "sim:") {
    SimScenarioResult loaded = LoadSimScenario(std::string(selection.substr(4)));
    if (loaded.scenario)
      return std::make_unique<SimAdapter>(std::move(*loaded.scenario), notifier, registry);
    std::fprintf(stderr, "ZELCON_ADAPTER: %s\n", loaded.error.c_str());
    return std::make_unique<AdapterControlBase>(notifier, registry);
  }
  // The driver's control device, as zelnicd serves it.
  return std::make_unique<DeviceAdapter>(notifier, std::move(registry), ControlDevicePath(selection));
}

std::string ControlDevicePath(std::string_view selection) {
  if (selection == "sim" || selection.substr(0, 4) == "sim:") return {};
  return ndis::ChooseControlRunDir().path + "/HlvnDev0";
}

}  // namespace zelcon
