#include "driver/core/swiftbond_core.h"

#include <cstring>

#include "driver/core/bss_data_frames.h"
#include "driver/core/core_adapter.h"
#include "driver/core/core_timer.h"
#include "driver/core/frame_tests.h"
#include "driver/core/station_seams.h"
#include "driver/hal/firmware_commands.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {
namespace {

// The step timer: 200 ms after the last message without its reply the exchange fails.
void SwiftBondTimeout(OsTimerRecord* record) {
  CoreAdapter* core = CoreOfTimer(record);
  if (core != nullptr) core->SwiftBond.exchange.Timeout();
}

}  // namespace

bool SwiftBondCoreLink::Associated() { return core->MlmeState == kMlmeAssociated; }

bool SwiftBondCoreLink::SendBody(const std::uint8_t* body, std::uint32_t length) {
  return SendDataToBss(core, body, length);
}

void SwiftBondCoreLink::ArmTimer(std::uint32_t ms) {
  zelnic::core::ArmTimer(core, kTimerSwiftBond, SwiftBondTimeout, ms, false);
}

void SwiftBondCoreLink::CancelTimer() { zelnic::core::CancelTimer(core, kTimerSwiftBond); }

void SwiftBondCoreLink::PostEvent(std::uint32_t event) { zelnic::core::PostEvent(core, event, nullptr, 0); }

void SwiftBondCoreLink::RestoreTxPower() { hal::SendTxPower(core->Hal, 1, core->Station.SavedTxPower); }

const std::uint8_t* SwiftBondCoreLink::Bssid() { return core->Bssid.data(); }

const std::uint8_t* SwiftBondCoreLink::StationAddress() { return core->StationAddress.data(); }

void SwiftBondReceive(CoreAdapter* core, ReceiveRecord* record) {
  // The body follows the chip header; the caller gives the record back in every case.
  if (record->Length <= kChipHeaderBytes) return;
  (void)core->SwiftBond.exchange.Receive(record->Frame + kChipHeaderBytes, record->Length - kChipHeaderBytes);
}

ULONG SetSwiftBondSecurity(CoreAdapter* core, const void* buffer, ULONG length, PULONG read) {
  if (!core->SwiftBond.exchange.SetSecurity(static_cast<const std::uint8_t*>(buffer), length))
    return StatusBufferTooShort;
  *read = kSwiftBondSecurityRecordBytes;
  return StatusSuccess;
}

ULONG SetSwiftBondSetup(CoreAdapter* core, const void* buffer, ULONG length, PULONG read) {
  if (buffer == nullptr || length < kSwiftBondSetupRecordBytes) return StatusBufferTooShort;
  core->SwiftBond.exchange.Setup(static_cast<const std::uint8_t*>(buffer), length);
  *read = kSwiftBondSetupRecordBytes;
  return StatusSuccess;
}

void SwiftBondApInfo(CoreAdapter* core, std::uint8_t (&out)[kSwiftBondApInfoBytes]) {
  core->SwiftBond.exchange.ApInfo(out);
}

}  // namespace zelnic::core
