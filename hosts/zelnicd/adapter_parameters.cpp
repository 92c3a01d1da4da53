#include "hosts/zelnicd/adapter_parameters.h"

#include <cstdio>

#include "driver/core/registry_parameters.h"
#include "driver/ndis/driver_release.h"

namespace zelnicd {
namespace {

std::string NumberText(std::uint32_t value, bool hex) {
  char text[16];
  std::snprintf(text, sizeof text, hex ? "%X" : "%u", value);
  return text;
}

void Take(const plat::RegistryStore& store, const char* name, bool hex,
          Parameters& parameters) {
  auto value = store.Query(kAdapterKey, name);
  if (!value) return;
  parameters[name] = value->type == plat::RegistryValue::Type::String ? value->text
                                                                      : NumberText(value->dword, hex);
}

}  // namespace

Parameters AdapterParameters(const plat::RegistryStore& store) {
  Parameters parameters;
  for (const auto& row : zelnic::KeywordTable())
    Take(store, row.name, row.kind == zelnic::KeywordKind::HexInteger, parameters);
  Take(store, "NetworkAddress", false, parameters);
  return parameters;
}

bool WriteDriverRelease(plat::RegistryStore& store) {
  return store.SetString(kAdapterKey, "DriverVersion", kDriverVersion) &&
         store.SetString(kAdapterKey, "DriverDate", kDriverDate);
}

}  // namespace zelnicd
