// What NDIS hears of the connection: media connect and disconnect, and the completion of
// the one NDIS set that waits for the connection.
#include <cstring>

#include "driver/core/ccx_core.h"
#include "driver/core/core_adapter.h"
#include "driver/core/core_timer.h"
#include "driver/core/mlme.h"
#include "driver/core/rates.h"
#include "driver/hal/firmware_commands.h"
#include "driver/hal/hal_adapter.h"

namespace zelnic::core {
namespace {

constexpr std::uint32_t kEventConnectFailed = 0;
constexpr std::uint32_t kEventAssociated = 1;
constexpr std::uint32_t kEventIbssConnected = 3;
constexpr std::uint32_t kEventIbssFailed = 4;
constexpr std::uint32_t kEventDisconnected = 5;
constexpr std::uint32_t kDefaultTxPowerLevel = 4;
constexpr std::uint8_t kRetryBytes[5] = {5, 5, 3, 3, 0};

// Once the chip layer is stopped (halt, removal) the firmware takes no more commands.
bool FirmwareTakesCommands(const CoreAdapter* core) { return core->Hal != nullptr && core->Hal->removed == 0; }

NDIS_HANDLE AdapterHandle(const CoreAdapter* core) { return core->Head.Container->MiniportAdapterHandle; }

bool UtilityAttached(const CoreAdapter* core) {
  const MiniportContext* context = core->Head.Container->Context;
  return context != nullptr && context->UtilityAttached != 0;
}

void IndicateMedia(CoreAdapter* core, NDIS_STATUS status) {
  NdisMIndicateStatus(AdapterHandle(core), status, nullptr, 0);
  NdisMIndicateStatusComplete(AdapterHandle(core));
}

void IndicateMediaConnect(CoreAdapter* core) {
  const std::uint32_t bOnly = core->Station.HaveCurrentBss ? IsBOnly(core->Station.CurrentEntry) : 0;
  PostEvent(core, core->MlmeState == kMlmeIbssJoined ? kEventIbssConnected : kEventAssociated, &bOnly, sizeof bOnly);
  IndicateMedia(core, NDIS_STATUS_MEDIA_CONNECT);
}

}  // namespace

void CompletePendedSet(CoreAdapter* core, NDIS_STATUS status) {
  if (!core->Station.SetPended) return;
  core->Station.SetPended = false;
  NdisMSetInformationComplete(AdapterHandle(core), status);
}

void IndicateConnected(CoreAdapter* core) {
  IndicateMediaConnect(core);
  CompletePendedSet(core, NDIS_STATUS_SUCCESS);
}

void IndicateConnectedNoCompletion(CoreAdapter* core) { IndicateMediaConnect(core); }

void IndicateDisconnected(CoreAdapter* core) {
  IndicateMedia(core, NDIS_STATUS_MEDIA_DISCONNECT);
  core->MediaDisconnected = 1;
  if (FirmwareTakesCommands(core)) hal::SendTxPower(core->Hal, 1, kDefaultTxPowerLevel);
  ResetLinkState(core);
}

void IndicateConnectFailed(CoreAdapter* core) {
  IndicateMedia(core, NDIS_STATUS_MEDIA_DISCONNECT);
  CompletePendedSet(core, NDIS_STATUS_FAILURE);
  if (UtilityAttached(core)) {
    PostEvent(core, core->Config.networkMode == 0 ? kEventIbssFailed : kEventConnectFailed, nullptr, 0);
    ResetLinkState(core);
  }
}

void IndicateIbssStarted(CoreAdapter* core) {
  IndicateMedia(core, NDIS_STATUS_MEDIA_DISCONNECT);
  CompletePendedSet(core, NDIS_STATUS_SUCCESS);
  if (UtilityAttached(core)) ResetLinkState(core);
}

void ResetLinkState(CoreAdapter* core) {
  core->HighTraffic = 0;
  CancelTimer(core, kTimerEapolHoldOff);
  core->EapolHoldOff = 0;
  ClearCcxMeasurements(core);
  ResetCkipKeys(core);
  std::memcpy(core->Station.RetryBytes, kRetryBytes, sizeof kRetryBytes);
  if (FirmwareTakesCommands(core)) hal::SendCmd0115(core->Hal, 1, core->Station.RetryBytes);
  PostEvent(core, kEventDisconnected, nullptr, 0);
}

}  // namespace zelnic::core
