#include "platform/gui/desktop/os_info.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace zfw {

std::optional<OsVersion> OsInfo::emulated(std::string_view setting, bool* known) {
  using F = OsVersion::Family;
  struct Entry {
    std::string_view name;
    std::optional<OsVersion> version;
  };
  static const Entry table[] = {
      {"xp", OsVersion{F::WinNT, 5, 1}},          {"2000", OsVersion{F::WinNT, 5, 0}},
      {"2003", OsVersion{F::WinNT, 5, 2}},        {"nt4", OsVersion{F::WinNT, 4, 0}},
      {"9x", OsVersion{F::Win9x, 4, 10}},         {"unsupported", OsVersion{F::WinNT, 6, 0}},
      {"fail", std::nullopt},
  };
  for (const Entry& e : table) {
    if (e.name == setting) {
      if (known) *known = true;
      return e.version;
    }
  }
  if (known) *known = setting.empty();
  return OsVersion{F::WinNT, 5, 0};
}

OsInfo OsInfo::fromEnvironment() {
  const char* value = std::getenv("ZELCON_EMULATE_OS");
  const std::string setting = value ? value : "";
  bool known = false;
  std::optional<OsVersion> version = emulated(setting, &known);
  if (!known) {
    std::fprintf(stderr,
                 "ZELCON_EMULATE_OS=%s is not one of xp, 2000, 2003, nt4, 9x, unsupported, fail; "
                 "running as Windows 2000\n",
                 setting.c_str());
  }
  return OsInfo(version);
}

}  // namespace zfw
