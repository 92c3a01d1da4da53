// An ADD_KEY record is bytes from the caller: any length and content is checked before the
// table reads the key material, and a refused record leaves the table as it was.
#include <cstdint>
#include <vector>

#include "driver/core/key_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static const std::uint8_t kOwn[6] = {2, 0, 0, 0, 0, 1};
  zelnic::core::AdapterKeyTable table;
  const std::vector<std::uint8_t> record(data + 1, data + size);  // exact size: overreads are caught
  const auto result =
      table.AddKey(record.data(), static_cast<std::uint32_t>(record.size()), kOwn, (data[0] & 1) != 0);
  if (result != zelnic::core::KeyRefusal::kNone && table.KeysInstalled() != 0) __builtin_trap();
  table.RemoveKey(static_cast<std::uint32_t>(data[0]) << 24 | data[0]);
  return 0;
}
