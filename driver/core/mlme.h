#pragma once
// MAC management: joining a BSS (channel, authentication, association), the responses, the
// MLME timeout and the state continuations, the IBSS paths, the indications to NDIS, and the
// foreground and background scans.
#include <cstdint>

#include "driver/core/config.h"
#include "driver/core/station_state.h"
#include "platform/ndis/ndis_types.h"

struct CoreAdapter;
struct ReceiveRecord;

namespace zelnic::core {

inline constexpr std::uint32_t kMlmeWaitMs = 200;
inline constexpr std::uint32_t kIbssWaitMs = 1000;
inline constexpr std::uint32_t kDwellMs = 160;
inline constexpr std::uint32_t kProbesPerDwell = 5;
inline constexpr std::uint16_t kListenInterval = 10;

// --- join, authentication, association (mlme_join.cpp, mlme_auth.cpp, mlme_assoc.cpp) ---
// Joins the BSS of Station.TargetBssid: 2 pending, 3 failure, 19 busy (scanning), 1 no frame.
ULONG JoinInfrastructureBss(CoreAdapter* core);
// Copies the BSS at `index` into the current-BSS scratch.
void CopyBssToScratch(CoreAdapter* core, int index);
// The scratch BSS's parameters into the live fields.
void TakeBssParameters(CoreAdapter* core);
ULONG HandleAuthResponse(CoreAdapter* core, const std::uint8_t* frame, std::uint32_t length);
ULONG SendAssociationRequest(CoreAdapter* core, const std::uint8_t* bssid);
ULONG SendReassociationRequest(CoreAdapter* core, const std::uint8_t* bssid);
ULONG HandleAssocResponse(CoreAdapter* core, const std::uint8_t* frame, std::uint32_t length);

// --- state (mlme_state.cpp) ---
void ContinueByState(CoreAdapter* core);
void MlmeTimeout(CoreAdapter* core);
void ArmMlmeTimer(CoreAdapter* core, std::uint32_t periodMs);
// A received management frame other than a beacon or probe response (the record is given
// back by the caller); StatusSuccess or StatusFailure.
ULONG MacManagementFrameReceive(CoreAdapter* core, ReceiveRecord* record, std::uint8_t subtype);
// A beacon of the current network in the associated state, after the link monitor heard of
// it: LED traffic events, power-save TIM, ERP protection and short slot, beacon timing to
// the chip layer.
void CurrentNetworkBeaconed(CoreAdapter* core, int bssIndex);
// Leaves the current network by MlmeState; with `indicate`, indicates media disconnect.
void DisconnectByState(CoreAdapter* core, bool indicate);
// At miniport halt: a deauthentication (reason 3) in states 3 and 5; MlmeState 0.
void DeauthenticateIfConnected(CoreAdapter* core);

// --- IBSS (ibss.cpp) ---
ULONG JoinIbss(CoreAdapter* core, int index);
// What an own IBSS starts with.
struct IbssStartParameters {
  Ssid ssid;
  std::uint16_t beaconPeriod = 100;
  std::uint8_t dtim = 2;
  std::uint16_t atimWindow = 0;
  std::uint8_t channel = 1;
  std::uint16_t capability = 0x0002;  // IBSS
  std::uint8_t basicRates[8] = {};    // codes; bit 7 is refused
};
ULONG StartIbss(CoreAdapter* core, const IbssStartParameters& parameters);
ULONG RestartIbss(CoreAdapter* core, void (*continuation)(CoreAdapter*));
ULONG StartConfiguredIbss(CoreAdapter* core);
ULONG JoinIbssByIndex(CoreAdapter* core, int index);
// A beacon or probe response outside a scan while joining, in or restarting an IBSS: the
// IBSS join, merge and start steps.
void IbssBeaconReceived(CoreAdapter* core, int bssIndex);

// --- indications (connection_indications.cpp) ---
void IndicateConnected(CoreAdapter* core);
void IndicateConnectedNoCompletion(CoreAdapter* core);
void IndicateConnectFailed(CoreAdapter* core);
// Media disconnect to NDIS, the media-disconnected flag, TX power level 4, link state reset.
void IndicateDisconnected(CoreAdapter* core);
void IndicateIbssStarted(CoreAdapter* core);
void ResetLinkState(CoreAdapter* core);
// Completes the NDIS set answered pending, when there is one: exactly one completion each.
void CompletePendedSet(CoreAdapter* core, NDIS_STATUS status);

// --- scans (scan.cpp) ---
void ScanStateMachine(CoreAdapter* core);
void BackgroundScanStateMachine(CoreAdapter* core);
void EndBackgroundScan(CoreAdapter* core);

}  // namespace zelnic::core
