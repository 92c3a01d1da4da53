// The connection OIDs: queries and sets as NDIS (and the control device) make them, with
// the connection a desired SSID starts.
#include "driver/core/connection_oids.h"

#include <cstring>

#include "driver/core/bss_table.h"
#include "driver/core/core_adapter.h"
#include "driver/core/tkip_countermeasures.h"
#include "driver/core/elements.h"
#include "driver/core/frame_builders.h"
#include "driver/core/frame_tests.h"
#include "driver/core/little_endian.h"
#include "driver/core/link_monitor.h"
#include "driver/core/mlme.h"
#include "driver/core/oid_answers.h"
#include "driver/core/station_management.h"
#include "driver/hal/hal_adapter.h"
#include "driver/ndis/private_oids.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {
namespace {

constexpr std::uint32_t kMaxAttempts = 2;
constexpr std::uint32_t kModeIbss = 0;
constexpr std::uint32_t kAuthModeAutoSwitch = 2;
constexpr std::uint32_t kAuthModeShared = 1;
constexpr std::uint32_t kAuthModeMax = 7;
constexpr std::uint16_t kReasonLeftBss = 3;
constexpr std::uint32_t kSsidHeaderBytes = 4;
constexpr std::uint32_t kScanListUsable = 30840;
constexpr std::uint8_t kElementReserved254 = 254;
constexpr std::uint32_t kAssociationInfoHeader = sizeof(NDIS_802_11_ASSOCIATION_INFORMATION);

bool OnANetwork(const CoreAdapter* core) {
  return core->MlmeState == kMlmeAssociated || core->MlmeState == kMlmeIbssJoined ||
         core->MlmeState == kMlmeIbssStarted;
}

NDIS_STATUS QuerySsid(CoreAdapter* core, PVOID buffer, ULONG length, PULONG written, PULONG needed) {
  const OidQuery q{buffer, length, written, needed};
  NDIS_802_11_SSID answer{};
  const Ssid& ssid = core->Config.desiredSsid.length != 0 ? core->Config.desiredSsid : core->CurrentSsid;
  answer.SsidLength = ssid.length <= 32 ? ssid.length : 32;
  std::memcpy(answer.Ssid, ssid.bytes, answer.SsidLength);
  if (core->MediaDisconnected != 0 && core->MlmeState != kMlmeIbssStarted) answer.SsidLength = 0;
  return Answer(q, &answer, sizeof answer, true);
}

// Copies the elements from `from` to `end` into `to` (at most `room` bytes): element by
// element, stopping at an empty one or one that runs past the end, leaving out id 254.
std::uint32_t CopyAssociationElements(std::uint8_t* to, std::uint32_t room, const std::uint8_t* from,
                                      const std::uint8_t* end) {
  std::uint32_t used = 0;
  while (end - from >= 2) {
    const std::uint32_t size = 2u + from[1];
    if (from[1] == 0 || size > static_cast<std::uint32_t>(end - from)) break;
    if (from[0] != kElementReserved254) {
      if (size > room - used) break;
      std::memcpy(to + used, from, size);
      used += size;
    }
    from += size;
  }
  return used;
}

NDIS_STATUS QueryAssociationInformation(CoreAdapter* core, PVOID buffer, ULONG length, PULONG written,
                                        PULONG needed) {
  const StationState& st = core->Station;
  const OidQuery q{buffer, length, written, needed};
  std::uint8_t answer[kAssociationInfoHeader + kSavedRequestBytes + kSavedResponseBytes] = {};
  NDIS_802_11_ASSOCIATION_INFORMATION info{};
  info.Length = kAssociationInfoHeader;
  std::uint32_t used = kAssociationInfoHeader;
  if (st.AssociationRequestLength >= kChipHeaderBytes + 4) {
    const std::uint8_t* request = st.AssociationRequest;
    const std::uint8_t* body = request + kChipHeaderBytes;
    const bool reassociation = (request[2] >> 4) == kSubtypeReassociationRequest;
    info.AvailableRequestFixedIEs = reassociation ? 7 : 3;
    info.RequestFixedIEs.Capabilities = Get16(body);
    info.RequestFixedIEs.ListenInterval = Get16(body + 2);
    const std::uint32_t fixed = reassociation ? 10 : 4;
    if (reassociation && st.AssociationRequestLength >= kChipHeaderBytes + fixed)
      std::memcpy(info.RequestFixedIEs.CurrentAPAddress, body + 4, 6);
    info.OffsetRequestIEs = used;
    if (st.AssociationRequestLength >= kChipHeaderBytes + fixed)
      info.RequestIELength = CopyAssociationElements(answer + used, kSavedRequestBytes, body + fixed,
                                                     request + st.AssociationRequestLength);
    used += info.RequestIELength;
  }
  if (st.AssociationResponseLength >= kChipHeaderBytes + 6) {
    const std::uint8_t* response = st.AssociationResponse;
    const std::uint8_t* body = response + kChipHeaderBytes;
    info.AvailableResponseFixedIEs = 7;
    info.ResponseFixedIEs.Capabilities = Get16(body);
    info.ResponseFixedIEs.StatusCode = Get16(body + 2);
    info.ResponseFixedIEs.AssociationId = Get16(body + 4);
    info.OffsetResponseIEs = used;
    info.ResponseIELength = CopyAssociationElements(answer + used, kSavedResponseBytes, body + 6,
                                                    response + st.AssociationResponseLength);
    used += info.ResponseIELength;
  }
  std::memcpy(answer, &info, sizeof info);
  return Answer(q, answer, used, true);
}

NDIS_STATUS QueryBssidList(CoreAdapter* core, PVOID buffer, ULONG length, PULONG written, PULONG needed) {
  const OidQuery q{buffer, length, written, needed};
  const std::uint32_t size = BuildBssidListEx(core);
  return Answer(q, core->ScanList, size, true);
}

// A non-empty SSID that starts with a control byte, 0xA0 or 0xFF means "leave the network".
bool MeansDisconnect(const NDIS_802_11_SSID& ssid) {
  if (ssid.SsidLength == 0) return false;
  const std::uint8_t first = ssid.Ssid[0];
  return first < 0x20 || first == 0xA0 || first == 0xFF;
}

ULONG SetSsid(CoreAdapter* core, NDIS_OID oid, PVOID buffer, ULONG length, PULONG read, PULONG needed) {
  // For 60 seconds after the TKIP countermeasures dropped the link, no network is joined.
  if (TkipCountermeasuresBlockSsid(core)) return StatusFailure;
  // The record must hold its length word and as many bytes as that word says.
  if (buffer == nullptr || length < kSsidHeaderBytes) {
    *needed = sizeof(NDIS_802_11_SSID);
    return StatusInvalidLength;
  }
  NDIS_802_11_SSID ssid{};
  std::memcpy(&ssid.SsidLength, buffer, kSsidHeaderBytes);
  if (ssid.SsidLength > 32) return StatusInvalidData;
  if (length < kSsidHeaderBytes + ssid.SsidLength) {
    *needed = kSsidHeaderBytes + ssid.SsidLength;
    return StatusInvalidLength;
  }
  std::memcpy(ssid.Ssid, static_cast<const std::uint8_t*>(buffer) + kSsidHeaderBytes, ssid.SsidLength);
  *read = kSsidHeaderBytes + ssid.SsidLength;
  if (MeansDisconnect(ssid)) {
    if (core->MlmeState == kMlmeAssociated) {
      SendDeauthentication(core, core->Bssid.data(), kReasonLeftBss);
      IndicateDisconnected(core);
    }
    core->Bssid = {};
    core->CurrentSsid = Ssid{};
    core->Config.desiredSsid = Ssid{};
    return StatusSuccess;
  }
  core->Config.radioOn = 1;
  Ssid desired;
  desired.length = ssid.SsidLength;
  std::memcpy(desired.bytes, ssid.Ssid, ssid.SsidLength);
  return SetDesiredSsid(core, desired, oid);
}

ULONG SetWord(PVOID buffer, ULONG length, PULONG read, ULONG& value) {
  if (buffer == nullptr || length < sizeof(ULONG)) return StatusInvalidLength;
  std::memcpy(&value, buffer, sizeof value);
  *read = sizeof value;
  return StatusSuccess;
}

ULONG SetAuthentication(CoreAdapter* core, PVOID buffer, ULONG length, PULONG read, PULONG needed) {
  // Exactly one word: the caller is told so, whichever way the length misses it.
  if (buffer == nullptr || length != sizeof(ULONG)) {
    *needed = sizeof(ULONG);
    return length < sizeof(ULONG) ? StatusBufferTooShort : StatusInvalidLength;
  }
  ULONG mode = 0;
  std::memcpy(&mode, buffer, sizeof mode);
  *read = sizeof mode;
  if (mode > kAuthModeMax) return StatusInvalidData;
  // Automatic switch: shared key first, open system when that fails.
  core->Station.SharedKeyFallback = mode == kAuthModeAutoSwitch;
  return SetAuthenticationMode(core, mode == kAuthModeAutoSwitch ? kAuthModeShared : mode);
}

ULONG SetBssidListScan(CoreAdapter* core) {
  if (core->Config.radioOn == 0) return StatusSuccess;
  if ((core->Flags & kFlagScanning) != 0) return (core->Flags & kFlagConnecting) != 0 ? StatusPending : StatusSuccess;
  if ((core->Flags & kFlagConnecting) != 0) return StatusSuccess;
  return ScanAll(core);
}

ULONG Disassociate(CoreAdapter* core) {
  DisconnectByState(core, true);
  core->Config.radioOn = 0;
  ClearBssTable(core);
  std::memset(core->ShadowBssTable, 0, kBssTableBytes);
  std::memset(core->ShadowBssExtras, 0, sizeof core->ShadowBssExtras);
  std::memset(core->ScanList, 0, kScanListBytes);
  return StatusSuccess;
}

}  // namespace

ULONG SetDesiredSsid(CoreAdapter* core, const Ssid& ssid, std::uint32_t requester) {
  if (core->Hal == nullptr || core->Hal->removed != 0) return StatusFailure;
  core->Config.desiredSsid = Ssid{};
  CopySsid(core->Config.desiredSsid, ssid);
  if (SsidEquals(core->Config.desiredSsid, core->CurrentSsid)) {
    DisconnectByState(core, false);
    if (core->Config.networkMode != kModeIbss) {
      const NDIS_HANDLE handle = core->Head.Container->MiniportAdapterHandle;
      NdisMIndicateStatus(handle, NDIS_STATUS_MEDIA_DISCONNECT, nullptr, 0);
      NdisMIndicateStatusComplete(handle);
    }
  } else {
    DisconnectByState(core, true);
  }
  core->ConnectReason = requester;
  return StartConnect(core, true);
}

ULONG StartConnect(CoreAdapter* core, bool newRequest) {
  StationState& st = core->Station;
  if (newRequest) {
    st.ConnectAttempts = 0;
    st.ConnectScanDone = false;
    if ((core->Flags & kFlagScanning) != 0) return StatusPending;  // the scan's end continues
  }
  const int index = SelectBss(core);
  if (index < 0 && !st.ConnectScanDone) {
    st.ConnectScanDone = true;
    return ScanForSsid(core, core->Config.desiredSsid);
  }
  if (index < 0 && core->Config.networkMode == kModeIbss) return StartConfiguredIbss(core) == StatusSuccess ? StatusPending : StatusFailure;
  if (index >= 0 && st.ConnectAttempts < kMaxAttempts) {
    ++st.ConnectAttempts;
    SetFlags(core, kFlagConnecting);
    if (core->Config.networkMode == kModeIbss) return JoinIbssByIndex(core, index);
    std::memcpy(st.TargetBssid, BssTableOf(core).Entries[index].MacAddress, 6);
    st.ChannelPending = false;
    const ULONG result = JoinInfrastructureBss(core);
    if (result == StatusPending || result == StatusNotAccepted) return StatusPending;
    // A join that fails at once still answers the set that waits for it.
    if (!newRequest) IndicateConnectFailed(core);
    return result;
  }
  ClearFlags(core, kFlagConnecting);
  DisconnectByState(core, false);
  IndicateConnectFailed(core);
  return StatusFailure;
}

std::uint32_t BuildBssidListEx(CoreAdapter* core) {
  const auto& table = *reinterpret_cast<const BssTableData*>(core->ShadowBssTable);
  std::uint8_t* list = core->ScanList;
  std::memset(list, 0, kScanListBytes);
  ULONG count = 0;
  std::uint32_t used = sizeof(ULONG);
  constexpr std::uint32_t kFixedPart = offsetof(NDIS_WLAN_BSSID_EX, IEs);
  for (ULONG i = 0; i < table.Count && i < kMaxBss; ++i) {
    const NDIS_WLAN_BSSID& entry = table.Entries[i];
    const BssRecord& bss = core->Bss[i];
    if (used + kFixedPart > kScanListUsable) break;
    auto* ex = reinterpret_cast<NDIS_WLAN_BSSID_EX*>(list + used);
    std::memcpy(ex, &entry, offsetof(NDIS_WLAN_BSSID, SupportedRates));
    std::uint8_t* ies = list + used + kFixedPart;
    std::uint32_t ieLength = 0;
    std::uint32_t rates = 0;
    const std::uint32_t room = kScanListUsable - used - kFixedPart;
    if (bss.BlockLength >= kFixedFieldBytes && room >= kFixedFieldBytes) {
      std::memcpy(ies, bss.Block, kFixedFieldBytes);
      ieLength = kFixedFieldBytes;
      for (std::uint32_t at = kFixedFieldBytes; bss.BlockLength - at > 2;) {
        const std::uint8_t id = bss.Block[at];
        const std::uint32_t size = 2u + bss.Block[at + 1];
        if (bss.Block[at + 1] == 0 || size > bss.BlockLength - at || size > room - ieLength) break;
        std::memcpy(ies + ieLength, bss.Block + at, size);
        if (id == kElementSupportedRates || id == kElementExtendedRates)
          for (std::uint32_t r = 2; r < size && rates < sizeof ex->SupportedRates; ++r)
            ex->SupportedRates[rates++] = bss.Block[at + r];
        ieLength += size;
        at += size;
      }
    }
    ex->IELength = ieLength;
    ex->Length = (kFixedPart + ieLength + 3) & ~3u;
    if (used + ex->Length > kScanListUsable) break;
    used += ex->Length;
    ++count;
  }
  std::memcpy(list, &count, sizeof count);
  return used;
}

bool QueryConnectionOid(CoreAdapter* core, NDIS_OID oid, PVOID buffer, ULONG length, PULONG written,
                        PULONG needed, NDIS_STATUS& status) {
  if (written == nullptr || needed == nullptr) return false;
  const OidQuery q{buffer, length, written, needed};
  switch (oid) {
    case OID_802_11_BSSID:
      status = OnANetwork(core) ? Answer(q, core->Bssid.data(), 6, true)
                                : NDIS_STATUS_ADAPTER_NOT_READY;
      return true;
    case OID_802_11_SSID:
      status = QuerySsid(core, buffer, length, written, needed);
      return true;
    case OID_802_11_INFRASTRUCTURE_MODE:
      status = AnswerWord(q, core->Config.networkMode, true);
      return true;
    case OID_802_11_AUTHENTICATION_MODE:
      status = AnswerWord(q, core->Config.authMode, true);
      return true;
    case OID_802_11_RSSI:
      status = AnswerWord(q, static_cast<ULONG>(core->LinkRssi), true);
      return true;
    case OID_802_11_SUPPORTED_RATES:
      status = Answer(q, core->SupportedRates.data(), core->SupportedRates.size(), true);
      return true;
    case OID_802_11_ASSOCIATION_INFORMATION:
      status = QueryAssociationInformation(core, buffer, length, written, needed);
      return true;
    case OID_802_11_BSSID_LIST:
    case OID_HLVN_SCAN_LIST:
      status = QueryBssidList(core, buffer, length, written, needed);
      return true;
    default:
      return false;
  }
}

bool SetConnectionOid(CoreAdapter* core, NDIS_OID oid, PVOID buffer, ULONG length, PULONG read, PULONG needed,
                      ULONG& status) {
  if (read == nullptr || needed == nullptr) return false;
  ULONG value = 0;
  switch (oid) {
    case OID_802_11_SSID:
    case OID_HLVN_SSID:
      status = SetSsid(core, oid, buffer, length, read, needed);
      break;
    case OID_802_11_INFRASTRUCTURE_MODE:
      status = SetWord(buffer, length, read, value);
      if (status == StatusSuccess) status = SetInfrastructureMode(core, value);
      core->Config.radioOn = 1;
      break;
    case OID_802_11_AUTHENTICATION_MODE:
      status = SetAuthentication(core, buffer, length, read, needed);
      break;
    case OID_802_11_BSSID_LIST_SCAN:
      status = SetBssidListScan(core);
      break;
    case OID_802_11_DISASSOCIATE:
      status = Disassociate(core);
      break;
    case OID_802_11_BSSID:
    case OID_802_11_ASSOCIATION_INFORMATION:
      status = StatusSuccess;
      break;
    default:
      return false;
  }
  // The shell answers NDIS pending; the connection completes it once. A set through the
  // control device has its answer already: nothing completes it later.
  if (status == StatusPending) {
    const MiniportContext* context = core->Head.Container->Context;
    if (context != nullptr && context->FromUtility != 0) {
      status = StatusSuccess;
    } else {
      core->Station.SetPended = true;
    }
  }
  return true;
}

}  // namespace zelnic::core
