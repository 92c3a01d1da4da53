#pragma once
// The received frame held back while a CKIP network's keys are being installed: after an
// 802.1X authentication the access point may send its first protected frame before the
// host has set the keys. One protected unicast frame whose key is not there yet is held
// (later ones are dropped) until two keys are installed; it then goes through the receive
// path once, and is given back to the chip layer exactly once whatever happens to it.
#include <cstdint>

#include "driver/hal/receive_record.h"

struct CoreAdapter;

namespace zelnic::core {

struct PendingFrameState {
  ReceiveRecord* Frame = nullptr;
  std::uint32_t KeysInstalled = 0;  // installs since the last authentication-mode set or link reset
};

// True when a received protected frame must wait for its key: CKIP is in use, fewer than two
// keys are installed, the frame is unicast and its key id has no key yet.
bool CkipHoldsFrames(CoreAdapter* core, const std::uint8_t* frame, std::uint32_t length);
// Takes the record as the pending frame, or gives it back when one is held already.
ULONG HoldPendingFrame(CoreAdapter* core, ReceiveRecord* record);
// A key or WEP key was installed: from the second one on, the pending frame is received.
void KeyInstalledForPendingFrame(CoreAdapter* core);
// An authentication-mode set, a link reset or a halt: the count restarts and a pending frame
// goes back to the chip layer unread.
void ResetPendingFrame(CoreAdapter* core);

}  // namespace zelnic::core
