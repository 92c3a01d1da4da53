// What the station does meanwhile where its later parts will stand. Each body is the whole
// behaviour that can exist without its part; see README.md ("Not yet").
#include "driver/core/station_seams.h"

#include "driver/core/core_adapter.h"
#include "driver/core/core_timer.h"
#include "driver/core/frame_builders.h"
#include "driver/core/link_monitor.h"
#include "driver/hal/firmware_commands.h"
#include "driver/hal/hal_adapter.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {
namespace {

constexpr std::uint32_t kEventDisconnected = 5;
constexpr std::uint32_t kDefaultTxPowerLevel = 4;
constexpr std::uint16_t kReasonLeftBss = 3;   // deauthenticated: the station is leaving
constexpr std::uint16_t kReasonLeaving = 8;   // disassociated: the station is leaving

// Once the chip layer is stopped (halt, removal) the firmware takes no more commands.
bool FirmwareTakesCommands(const CoreAdapter* core) { return core->Hal != nullptr && core->Hal->removed == 0; }

NDIS_HANDLE AdapterHandle(const CoreAdapter* core) { return core->Head.Container->MiniportAdapterHandle; }

void ResetLinkState(CoreAdapter* core) {
  core->HighTraffic = 0;
  CancelTimer(core, kTimerEapolHoldOff);
  core->EapolHoldOff = 0;
  PostEvent(core, kEventDisconnected, nullptr, 0);
}

}  // namespace

// --- MAC management ---------------------------------------------------------------------

ULONG MacManagementFrameReceive(CoreAdapter*, ReceiveRecord*, std::uint8_t) { return StatusFailure; }
void CurrentNetworkBeaconed(CoreAdapter*, int) {}
void IbssBeaconReceived(CoreAdapter*, int) {}

void DisconnectByState(CoreAdapter* core, bool indicate) {
  if (FirmwareTakesCommands(core)) hal::SendSetMode(core->Hal, 1, 0, 0);
  CancelTimer(core, kTimerLinkMonitor);
  CancelTimer(core, kTimerMlme);
  switch (core->MlmeState) {
    case 0:
    case kMlmeIbssIdle:
      return;
    case kMlmeAssociated:
      SendDeauthentication(core, core->Bssid.data(), kReasonLeaving);
      ResetTkipState(core);
      core->MlmeState = kMlmeIdle;
      break;
    case 8:
    case 10:
    case 12:
      core->MlmeState = kMlmeIbssIdle;
      break;
    case kMlmeIbssJoined:
    case kMlmeIbssStarted:
      core->MlmeState = kMlmeIbssStarted;
      break;
    default:
      core->MlmeState = kMlmeIdle;
      break;
  }
  if (indicate) IndicateDisconnected(core);
}

void IndicateDisconnected(CoreAdapter* core) {
  NdisMIndicateStatus(AdapterHandle(core), NDIS_STATUS_MEDIA_DISCONNECT, nullptr, 0);
  NdisMIndicateStatusComplete(AdapterHandle(core));
  core->MediaDisconnected = 1;
  if (FirmwareTakesCommands(core)) hal::SendTxPower(core->Hal, 1, kDefaultTxPowerLevel);
  ResetLinkState(core);
}

void DeauthenticateIfConnected(CoreAdapter* core) {
  if (core->MlmeState == kMlmeAuthenticated || core->MlmeState == kMlmeAssociated) {
    SendDeauthentication(core, core->Bssid.data(), kReasonLeftBss);
    NdisStallExecution(200);  // lets the frame go before the chip stops
  }
  core->MlmeState = kMlmeIdle;
}


// --- station management -----------------------------------------------------------------

void Reconnect(CoreAdapter*, bool) {}

// --- data path --------------------------------------------------------------------------

ULONG DataFrameEncapsulate(CoreAdapter*, SendDescriptor*) { return StatusFailure; }
std::uint32_t PayloadLength(const SendDescriptor* record) { return record->TotalLength; }
ULONG FragmentAndSend(CoreAdapter*, SendDescriptor*) { return StatusFailure; }
bool DataFrameDecapsulate(CoreAdapter*, ReceiveRecord*, bool& eapol) {
  eapol = false;
  return false;
}

ULONG IndicateFrame(CoreAdapter*, ReceiveRecord*) { return StatusFailure; }

// --- keys and ciphers -------------------------------------------------------------------

ULONG Encrypt(CoreAdapter*, SendDescriptor*, UCHAR*, ULONG) { return StatusFailure; }
LONG Decrypt(CoreAdapter*, UCHAR*, ULONG) { return -1; }
bool CkipHoldsFrames(CoreAdapter*) { return false; }
bool CheckReceiveMic(CoreAdapter*, ReceiveRecord*) { return false; }
void ResetTkipState(CoreAdapter*) {}
void ParseBssSecurity(CoreAdapter*, int) {}
std::uint32_t AppendWpaNoneElement(CoreAdapter*, std::uint8_t*) { return 0; }

// --- chip layer's power saving ----------------------------------------------------------

void TellPowerSaveMoreData(CoreAdapter*, bool) {}

// --- CCX and SwiftBond ------------------------------------------------------------------

void FirmwareEvent(CoreAdapter*) {}
void ClearCcxMeasurements(CoreAdapter*) {}
void SwiftBondReceive(CoreAdapter*, ReceiveRecord*) {}

}  // namespace zelnic::core
