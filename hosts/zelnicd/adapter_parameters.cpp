#include "hosts/zelnicd/adapter_parameters.h"

#include <cstdio>

#include "driver/core/registry_parameters.h"
#include "driver/ndis/driver_release.h"
#include "platform/ndis/configuration_number.h"

namespace zelnicd {
namespace {

std::string NumberText(std::uint32_t value, bool hex) {
  char text[16];
  std::snprintf(text, sizeof text, hex ? "%X" : "%u", value);
  return text;
}

enum class Reads { Text, Number, HexNumber };

void Take(const plat::RegistryStore& store, const char* name, Reads reads, Parameters& parameters,
          std::vector<std::string>* refused) {
  using Type = plat::RegistryValue::Type;
  auto value = store.Query(kAdapterKey, name);
  if (!value) return;
  const bool hex = reads == Reads::HexNumber;
  std::uint32_t number = 0;
  // NDIS reads a number from text as well: for a number, only text that is none is refused.
  const bool wrongType = reads == Reads::Text ? value->type != Type::String
                                              : value->type == Type::String &&
                                                    !ndis::ParseConfigurationNumber(value->text, hex, number);
  if (wrongType) {
    if (refused != nullptr) {
      refused->push_back(plat::WrongTypeRefusal(kAdapterKey, name, value->type,
                                                reads == Reads::Text ? Type::String : Type::Dword));
    }
    return;
  }
  parameters[name] = value->type == Type::String ? value->text : NumberText(value->dword, hex);
}

Reads ReadsOf(zelnic::KeywordKind kind) {
  switch (kind) {
    case zelnic::KeywordKind::String:
      return Reads::Text;
    case zelnic::KeywordKind::HexInteger:
      return Reads::HexNumber;
    case zelnic::KeywordKind::Integer:
      break;
  }
  return Reads::Number;
}

}  // namespace

Parameters AdapterParameters(const plat::RegistryStore& store, std::vector<std::string>* refused) {
  Parameters parameters;
  for (const auto& row : zelnic::KeywordTable()) Take(store, row.name, ReadsOf(row.kind), parameters, refused);
  Take(store, "NetworkAddress", Reads::Text, parameters, refused);
  return parameters;
}

bool WriteDriverRelease(plat::RegistryStore& store) {
  return store.SetString(kAdapterKey, "DriverVersion", kDriverVersion) &&
         store.SetString(kAdapterKey, "DriverDate", kDriverDate);
}

}  // namespace zelnicd
