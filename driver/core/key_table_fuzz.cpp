// ADD_KEY and REMOVE_KEY records are bytes from the caller: any length and content is checked
// before a table reads them, and a refused record leaves the tables as they were.
#include <cstdint>
#include <vector>

#include "driver/core/bss_key_table.h"
#include "driver/core/key_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static const std::uint8_t kOwn[6] = {2, 0, 0, 0, 0, 1};
  zelnic::core::AdapterKeyTable table;
  zelnic::core::BssKeyTables bssTables;
  const std::vector<std::uint8_t> record(data + 1, data + size);  // exact size: overreads are caught
  const auto length = static_cast<std::uint32_t>(record.size());
  zelnic::core::KeyInstall install;
  const auto result = zelnic::core::ReadKeyRecord(record.data(), length, install);
  if (result == zelnic::core::KeyRefusal::kNone) {
    table.Install(install, kOwn, (data[0] & 1) != 0);
    zelnic::core::BssKeyTable& bss = bssTables.Claim(install.bssid, kOwn);
    zelnic::core::BssKeyTables::Install(bss, install, kOwn);
  } else if (table.AddKey(record.data(), length, kOwn, false) != result || table.KeysInstalled() != 0) {
    __builtin_trap();
  }
  // The same bytes as a REMOVE_KEY record.
  std::uint32_t keyIndex = 0;
  const std::uint8_t* bssid = nullptr;
  if (zelnic::core::ReadRemoveKeyRecord(record.data(), length, keyIndex, bssid) == zelnic::core::KeyRefusal::kNone) {
    if (zelnic::core::BssKeyTable* bss = bssTables.Find(bssid)) zelnic::core::BssKeyTables::Remove(*bss, keyIndex);
    if (table.RemoveKey(keyIndex) != zelnic::core::KeyRefusal::kNone) __builtin_trap();
  }
  return 0;
}
