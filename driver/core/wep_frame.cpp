#include "driver/core/wep_frame.h"

#include "driver/core/core_adapter.h"
#include "driver/core/wep_cipher.h"

namespace zelnic::core {
namespace {

constexpr std::uint32_t kTransmitKeyBit = 0x80000000u;

}  // namespace

bool TransmitWepKey(const CoreAdapter* core, std::uint32_t& index, const std::uint8_t*& key, std::uint32_t& length) {
  if (core->Ciphers.WepTransmitKeyRemoved) return false;
  const WepKeyRecord* chosen = nullptr;
  for (const WepKeyRecord& record : core->Config.wepKeys) {
    if (record.keyLength == 0 || record.keyLength > kWepMaxKeyBytes) continue;
    if (chosen == nullptr || (record.keyIndex & kTransmitKeyBit) != 0) chosen = &record;
    if ((record.keyIndex & kTransmitKeyBit) != 0) break;
  }
  if (chosen == nullptr) return false;
  index = chosen->keyIndex & 3;
  key = chosen->key;
  length = chosen->keyLength;
  return true;
}

}  // namespace zelnic::core
