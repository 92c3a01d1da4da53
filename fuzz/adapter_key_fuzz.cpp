// The adapter's registry key file, as the driver host loads it into the driver's parameters:
// any text (hand-edited, damaged) gives parameters that are the driver's keywords only.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>

#include "driver/core/registry_parameters.h"
#include "hosts/zelnicd/adapter_parameters.h"
#include "platform/win32/atomic_file.h"
#include "platform/win32/test_temp_dir.h"

namespace {

const std::string& RegistryRoot() {
  static const plat::TestTempDir root;  // removed when the process ends
  return root.Path();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  plat::RegistryStore store(RegistryRoot());
  const std::string file = store.KeyFilePath(zelnicd::kAdapterKey);
  std::filesystem::create_directories(std::filesystem::path(file).parent_path());
  if (!plat::WriteFileAtomically(file, std::string_view(reinterpret_cast<const char*>(data), size)))
    return 0;
  std::set<std::string> known = {"NetworkAddress"};
  for (const auto& row : zelnic::KeywordTable()) known.insert(row.name);
  for (const auto& [name, value] : zelnicd::AdapterParameters(store)) {
    if (!known.count(name)) __builtin_trap();
    (void)value;
  }
  return 0;
}
