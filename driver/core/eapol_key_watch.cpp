#include "driver/core/eapol_key_watch.h"

#include "driver/core/core_adapter.h"
#include "driver/core/eapol_hold_off.h"
#include "driver/core/snap.h"

namespace zelnic::core {
namespace {

constexpr std::uint8_t kEapolStart = 1;
constexpr std::uint8_t kEapolKey = 3;
constexpr std::uint8_t kWpaKeyDescriptor = 254;
constexpr std::uint8_t kKeyInfoPairwise = 0x08;  // low byte of Key Information
constexpr std::uint8_t kKeyInfoIndex = 0x30;

void HoldOff(CoreAdapter* core) {
  if (core->EapolHoldOff == 0) EapolHoldOff(core);
}

}  // namespace

void WatchEapolKey(CoreAdapter* core, const std::uint8_t* frame, std::uint32_t length, bool sending) {
  // 802.3 header, then version, type, body length, and for a key the descriptor type and
  // the Key Information (big-endian).
  if (frame == nullptr || length < kEthernetHeaderBytes + 4) return;
  const std::uint8_t* eapol = frame + kEthernetHeaderBytes;
  if (eapol[1] == kEapolStart) {
    HoldOff(core);
    return;
  }
  if (sending || eapol[1] != kEapolKey || length < kEthernetHeaderBytes + 7) return;
  if (eapol[4] != kWpaKeyDescriptor) return;
  const std::uint8_t info = eapol[6];
  if ((info & kKeyInfoPairwise) == 0 && (info & kKeyInfoIndex) != 0) HoldOff(core);
}

}  // namespace zelnic::core
