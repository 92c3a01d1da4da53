#pragma once
// Choosing the library's backend: "sim" or "sim:<scenario file>" (ZELCON_ADAPTER) selects the
// simulated adapter; anything else (and no ZELCON_ADAPTER) the driver's control device as
// zelnicd serves it ($ZELNIC_RUN_DIR/HlvnDev0). A scenario file that cannot be read is
// reported on stderr and leaves the library without an adapter.
#include <memory>
#include <string>
#include <string_view>

#include "hosts/adapterctl/adapter_control.h"
#include "hosts/adapterctl/notifier.h"
#include "platform/win32/registry_store.h"

namespace zelcon {

std::unique_ptr<IAdapterControl> CreateBackend(std::string_view selection, Notifier& notifier,
                                               plat::RegistryStore registry);
// The control device the selected backend opens; empty for the simulated adapter.
std::string ControlDevicePath(std::string_view selection);

}  // namespace zelcon
