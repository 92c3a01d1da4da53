#pragma once
// The adapter's registry key, as the driver reads it through NdisReadConfiguration: the
// values the driver knows, taken from the file-backed registry store.
#include <string>
#include <vector>

#include "platform/ndis/adapter_config.h"
#include "platform/win32/registry_store.h"

namespace zelnicd {

using Parameters = decltype(ndis::AdapterConfig::parameters);

// The key of the one adapter zelnicd runs (the adapter-control library uses the same).
inline constexpr const char* kAdapterKey =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\0000";

// Every driver keyword and NetworkAddress present under the key, as registry text: strings as
// they are, numbers in decimal, or hexadecimal for the keywords the driver reads as such. A
// value of the wrong type is left out and named in `refused` with the type the driver reads:
// a number where it reads text, or a text that is not a number where it reads one.
Parameters AdapterParameters(const plat::RegistryStore& store, std::vector<std::string>* refused = nullptr);

// What setup writes into the key when it installs the driver: the package's release as
// DriverVersion and DriverDate, for the adapter-control library. False when the store takes
// no writes.
bool WriteDriverRelease(plat::RegistryStore& store);

}  // namespace zelnicd
