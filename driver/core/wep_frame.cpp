#include "driver/core/wep_frame.h"

#include "driver/core/core_adapter.h"
#include "driver/core/wep_cipher.h"

namespace zelnic::core {
namespace {

constexpr std::uint32_t kTransmitKeyBit = 0x80000000u;

}  // namespace

std::int32_t WepTxKeyIndex(const CoreAdapter* core) {
  if (core->Ciphers.WepTransmitKeyRemoved) return -1;
  std::int32_t chosen = -1;
  for (std::int32_t i = 0; i < 4; ++i) {
    const WepKeyRecord& record = core->Config.wepKeys[i];
    if (record.keyLength == 0 || record.keyLength > kWepMaxKeyBytes) continue;
    if (chosen < 0 || (record.keyIndex & kTransmitKeyBit) != 0) chosen = i;
    if ((record.keyIndex & kTransmitKeyBit) != 0) break;
  }
  return chosen;
}

bool TransmitWepKey(const CoreAdapter* core, std::uint32_t& index, const std::uint8_t*& key, std::uint32_t& length) {
  const std::int32_t record = WepTxKeyIndex(core);
  if (record < 0) return false;
  const WepKeyRecord& chosen = core->Config.wepKeys[record];
  index = chosen.keyIndex & 3;
  key = chosen.key;
  length = chosen.keyLength;
  return true;
}

}  // namespace zelnic::core
