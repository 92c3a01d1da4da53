#include "hosts/adapterctl/adapter_registry_values.h"

#include <cstring>

namespace zelcon {

int AdapterRegistryValues::SetProfileInUse(void*, const char* name, uint32_t length) {
  if (!name || length > 39) return 1;
  return registry_.SetString(kAdapterKey, "ProfileInUse", std::string(name, strnlen(name, length))) ? 0 : 1;
}

int AdapterRegistryValues::QueryProfileInUse(void*, char* buffer, uint32_t size) {
  std::optional<std::string> name = registry_.QueryString(kAdapterKey, "ProfileInUse");
  if (!name) return 1;
  return CopyText(*name, buffer, size) ? 0 : 1;
}

int AdapterRegistryValues::QueryDriverVersion(void*, char* buffer, uint32_t size) {
  return QueryRegistry(kAdapterKey, "DriverVersion", buffer, size);
}

int AdapterRegistryValues::QueryDriverDate(void*, char* buffer, uint32_t size) {
  return QueryRegistry(kAdapterKey, "DriverDate", buffer, size);
}

int AdapterRegistryValues::QueryRegistryPath(void*, char* buffer, uint32_t size) {
  return CopyText(kAdapterKey, buffer, size) ? 0 : 1;
}

}  // namespace zelcon
