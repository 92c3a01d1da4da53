#include "driver/core/pending_frame.h"

#include "driver/core/ckip_data_path.h"
#include "driver/core/core_adapter.h"
#include "driver/core/frame_tests.h"
#include "driver/core/wep_cipher.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {
namespace {

constexpr std::uint32_t kKeysBeforeRelease = 2;

}  // namespace

// A network whose single static key is installed never reaches two installs: frames under
// that key decrypt at once instead of waiting for ever.
bool CkipHoldsFrames(CoreAdapter* core, const std::uint8_t* frame, std::uint32_t length) {
  if (length < kChipHeaderBytes + kWepHeaderBytes || !CkipEncrypts(core)) return false;
  if (core->Pending.KeysInstalled >= kKeysBeforeRelease || IsGroupAddress(frame + kAddress1)) return false;
  return !core->Ckip.Keys[WepKeyId(frame + kChipHeaderBytes)].Installed();
}

ULONG HoldPendingFrame(CoreAdapter* core, ReceiveRecord* record) {
  if (core->Pending.Frame != nullptr) {
    ReturnToChipLayer(core, record);
  } else {
    core->Pending.Frame = record;
  }
  return StatusFailure;
}

void KeyInstalledForPendingFrame(CoreAdapter* core) {
  ++core->Pending.KeysInstalled;
  if (core->Pending.KeysInstalled < kKeysBeforeRelease || core->Pending.Frame == nullptr) return;
  ReceiveRecord* record = core->Pending.Frame;
  core->Pending.Frame = nullptr;
  (void)ReceiveDataFrame(core, record);
}

void ResetPendingFrame(CoreAdapter* core) {
  core->Pending.KeysInstalled = 0;
  if (core->Pending.Frame == nullptr) return;
  ReceiveRecord* record = core->Pending.Frame;
  core->Pending.Frame = nullptr;
  ReturnToChipLayer(core, record);
}

}  // namespace zelnic::core
