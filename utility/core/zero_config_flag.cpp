#include "utility/core/zero_config_flag.h"

#include <string>

namespace zelcon {
namespace {

// The Zero Configuration interface key of the adapter (`adapter`, or one opened for the
// look-up and closed again), or "" when the adapter's instance id cannot be had.
std::string InterfaceKey(IAdapterControl& lib, void* adapter, const char* prefix) {
  void* handle = adapter;
  if (!adapter) lib.OpenAdapter(handle);
  char path[400] = {};
  const int found = lib.QueryRegistryPath(handle, path, sizeof path);
  if (!adapter) lib.CloseAdapter(handle);
  if (found != 0) return {};
  path[sizeof path - 1] = '\0';
  char instance[100] = {};
  if (lib.QueryRegistry(path, "NetCfgInstanceId", instance, sizeof instance) != 0) return {};
  instance[sizeof instance - 1] = '\0';
  return std::string(prefix) + instance;
}

}  // namespace

void SetZeroConfigFlag(IAdapterControl& lib, int enable) {
  const std::string key =
      InterfaceKey(lib, nullptr, "SOFTWARE\\Microsoft\\WZCSVC\\Parameters\\Interfaces\\");
  if (key.empty()) return;
  uint32_t flags = 0;
  const int read = lib.QueryRegistry(key.c_str(), "ControlFlags", flags);
  // Rewriting a value that could not be read would lose every other bit of it.
  if (read != 0 && read != kRegistryValueAbsent) return;
  if (read != 0) flags = 0;
  flags = enable ? flags | kZeroConfigOwnsBit : flags & ~kZeroConfigOwnsBit;
  lib.SetRegistry(key.c_str(), "ControlFlags", flags);
}

bool QueryZeroConfigFlag(IAdapterControl& lib, void* adapter, bool& owns) {
  const std::string key =
      InterfaceKey(lib, adapter, "Software\\Microsoft\\WZCSVC\\Parameters\\Interfaces\\");
  if (key.empty()) return false;
  uint32_t flags = 0;
  owns = lib.QueryRegistry(key.c_str(), "ControlFlags", flags) != 0 ||
         (flags & kZeroConfigOwnsBit) != 0;
  return true;
}

}  // namespace zelcon
