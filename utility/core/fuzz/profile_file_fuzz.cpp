// Profile files are imported from anywhere: the reader must stay in bounds and within one
// record per entry on any bytes, and what it read must survive a save and load unchanged.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "utility/core/profile_file.h"
#include "utility/core/profile_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zelcon::ProfileReadResult read =
      zelcon::ReadProfileRecords(std::string_view(reinterpret_cast<const char*>(data), size));
  zelcon::ProfileReadResult again =
      zelcon::ReadProfileRecords(zelcon::EncodeProfileFile(read.records, true));
  if (!again.complete || again.records.size() != read.records.size()) __builtin_trap();
  for (size_t i = 0; i < read.records.size(); ++i)
    if (std::memcmp(&read.records[i], &again.records[i], sizeof read.records[i]) != 0)
      __builtin_trap();

  // An import: normalising never loses a profile that is not a second "<Default>".
  zelcon::ProfileList list;
  size_t defaults = 0;
  for (const PROFILE_ENTRY& r : read.records) {
    list.Append(r);
    defaults += zelcon::FieldText(r.name) == zelcon::kDefaultProfileName;
  }
  list.NormalizeImportedProfiles();
  if (list.Size() != read.records.size() - (defaults > 1 ? defaults - 1 : 0)) __builtin_trap();
  return 0;
}
