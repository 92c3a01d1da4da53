// Association and reassociation: the requests the station sends and the response that
// makes it associated.
#include <cstring>

#include "driver/core/ccx_core.h"
#include "driver/core/core_adapter.h"
#include "driver/core/elements.h"
#include "driver/core/frame_builders.h"
#include "driver/core/frame_tests.h"
#include "driver/core/little_endian.h"
#include "driver/core/leds.h"
#include "driver/core/link_monitor.h"
#include "driver/core/mlme.h"
#include "driver/core/rates.h"
#include "driver/core/security_elements.h"
#include "driver/core/station_management.h"
#include "driver/hal/firmware_commands.h"
#include "driver/hal/hal_adapter.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {
namespace {

constexpr std::uint16_t kCapabilityEss = 0x0001;
constexpr std::uint16_t kCapabilityPrivacy = 0x0010;
constexpr std::uint16_t kCapabilityShortPreamble = 0x0020;
constexpr std::uint16_t kCapabilityShortSlot = 0x0400;
constexpr std::uint16_t kReassociationCapability = 0x0401;
constexpr std::uint8_t kErpUseProtection = 0x02;
constexpr std::uint8_t kPreambleShort = 2;
constexpr std::uint8_t kPreambleLong = 3;
constexpr std::uint32_t kWirelessModeBOnly = 1;
constexpr std::uint8_t kElementAironet = 133;
constexpr std::uint8_t kElementCcx149 = 149;
constexpr std::uint8_t kAironetBody[30] = {0x00, 0x01, 0x6D, 0, 0, 0, 0, 0, 0x18, 0x00, 'C', 'S', 'C', '-', 'T',
                                           'A', 'R', 'G', 'E', 'T', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr std::uint8_t kCcx149Body[10] = {0x00, 0x40, 0x96, 0x00, 0, 0, 0, 0, 0, 0};
constexpr std::uint8_t kCcxVersionBody[5] = {0x00, 0x40, 0x96, 0x03, 0x04};
constexpr std::uint8_t kWpaCcxBody[5] = {0x00, 0x10, 0x18, 0x01, 0x00};

bool HasCcx(const BssElements& bss) { return bss.Ccx[0] != 0; }
bool MakerAsksForItsElement(const BssElements& bss) { return bss.MakerPresent != 0 && bss.Maker[2 + 6] == 1; }

std::uint8_t* AppendRates(CoreAdapter* core, std::uint8_t* at, bool bOnly) {
  const BssElements& bss = core->Station.CurrentBss.Elements;
  if (bOnly) {
    std::uint8_t* element = at;
    at = AppendElement(at, kElementSupportedRates, kBRates.size(), kBRates.data());
    MarkBasicBRates(element);
    return at;
  }
  std::uint8_t* element = at;
  at = AppendElement(at, kElementSupportedRates, kAssociationRates.size(), kAssociationRates.data());
  MarkBasicLikeBss(bss.Rates, element);
  element = at;
  at = AppendElement(at, kElementExtendedRates, kAssociationExtendedRates.size(), kAssociationExtendedRates.data());
  MarkBasicLikeBss(bss.Rates, element);
  return at;
}

// The PMKIDs both PMKID tables (the list set last and the entries dropped from it) hold for
// `bssid`, each once.
TargetPmkids PmkidsFor(const CoreAdapter* core, const std::uint8_t* bssid) {
  TargetPmkids found;
  const auto take = [&](const PmkidEntry& entry) {
    if (found.count == TargetPmkids::kMax || std::memcmp(entry.bssid, bssid, 6) != 0) return;
    for (std::uint32_t i = 0; i < found.count; ++i)
      if (std::memcmp(found.pmkids[i], entry.pmkid, 16) == 0) return;
    std::memcpy(found.pmkids[found.count++], entry.pmkid, 16);
  };
  const OidState& oid = core->Oid;
  for (std::uint32_t i = 0; i < oid.pmkidCount && i < kPmkidEntries; ++i) take(oid.pmkids[i]);
  for (const PmkidEntry& entry : oid.pmkidHistory) take(entry);
  return found;
}

// The station's RSN (else WPA) element for an association with `bss`, from the BSS's own,
// written at `at`: its length, 0 when the BSS has none or it names nothing the station can
// use. The group cipher it settles on is the one group-addressed frames are received under.
std::uint32_t BuildAssociationSecurityElement(CoreAdapter* core, const BssRecord& bss, bool rsn, std::uint8_t* at) {
  const std::uint8_t* element = rsn ? bss.RsnElement : bss.WpaElement;
  if (element[0] == 0) return 0;
  ChosenCiphers chosen;
  const std::uint32_t mode = core->Config.authMode;
  const std::uint32_t status = core->Config.wepStatus;
  const std::uint32_t length = rsn ? BuildStationRsnElement(element, mode, status, at, chosen,
                                                            PmkidsFor(core, bss.Elements.Bssid))
                                   : BuildStationWpaElement(element, mode, status, at, chosen);
  if (length != 0) core->Ciphers.GroupCipherStatus = chosen.group;
  return length;
}

// The WPA or RSN element the authentication mode needs; false when the BSS lacks its own.
bool AppendSecurity(CoreAdapter* core, std::uint8_t*& at) {
  const std::uint32_t mode = core->Config.authMode;
  const BssRecord& bss = core->Station.CurrentBss;
  const bool wpa = mode == 3 || mode == 4;
  const bool rsn = mode == 6 || mode == 7;
  if (!wpa && !rsn) return true;
  const std::uint32_t length = BuildAssociationSecurityElement(core, bss, rsn, at);
  if (length == 0) return false;
  // A CCKM network keys the station through CCKM when the host can (the CCX flags say so).
  if (CcxNamesCckmAkm(core, bss)) (void)CcxUseCckmAkm(at, length);
  at += length;
  if (wpa && HasCcx(bss.Elements)) at = AppendElement(at, kElementVendor, sizeof kWpaCcxBody, kWpaCcxBody);
  return true;
}

ULONG SendRequest(CoreAdapter* core, const std::uint8_t* bssid, bool reassociation) {
  StationState& st = core->Station;
  const BssElements& bss = st.CurrentBss.Elements;
  if (HasCcx(bss) && st.CurrentEntry.Ssid.SsidLength != 0) {
    bool allZero = true;
    for (ULONG i = 0; i < st.CurrentEntry.Ssid.SsidLength && i < 32; ++i) allZero &= st.CurrentEntry.Ssid.Ssid[i] == 0;
    if (allZero) return StatusFailure;
  }
  ManagementFrameBuffer* frame = TakeFrameBuffer(core);
  if (frame == nullptr) return StatusResources;
  std::uint8_t* f = frame->Buffer;
  BuildHeader(core, f, bssid, reassociation ? kSubtypeReassociationRequest : kSubtypeAssociationRequest);

  std::uint16_t capability = reassociation ? kReassociationCapability : kCapabilityEss;
  if (!reassociation && core->WirelessMode != kWirelessModeBOnly) capability |= kCapabilityShortSlot;
  if (PrivacyOn(core)) capability |= kCapabilityPrivacy;
  const bool shortPreamble = (bss.Capability & kCapabilityShortPreamble) != 0;
  if (shortPreamble) capability |= kCapabilityShortPreamble;
  core->Station.Preamble = shortPreamble ? kPreambleShort : kPreambleLong;

  std::uint8_t* body = f + kChipHeaderBytes;
  Put16(body, capability);
  Put16(body + 2, kListenInterval);
  std::uint8_t* at = body + 4;
  if (reassociation) {
    std::memcpy(at, core->Bssid.data(), 6);
    at += 6;
  }
  const std::uint32_t ssidLength = st.CurrentEntry.Ssid.SsidLength <= 32 ? st.CurrentEntry.Ssid.SsidLength : 32;
  at = AppendElement(at, kElementSsid, static_cast<std::uint8_t>(ssidLength), st.CurrentEntry.Ssid.Ssid);
  const bool bOnly = IsBOnly(st.CurrentEntry) != 0 || (!reassociation && core->WirelessMode == kWirelessModeBOnly);
  at = AppendRates(core, at, bOnly);
  if (HasCcx(bss)) {
    at = AppendElement(at, kElementAironet, sizeof kAironetBody, kAironetBody);
    at = AppendElement(at, kElementCcx149, sizeof kCcx149Body, kCcx149Body);
  }
  if (!AppendSecurity(core, at)) {
    ReturnFrameBuffer(core, frame);
    return StatusFailure;
  }
  if (HasCcx(bss)) at = AppendElement(at, kElementVendor, sizeof kCcxVersionBody, kCcxVersionBody);
  if (reassociation) at = CcxAppendCckmElement(core, at);
  if (MakerAsksForItsElement(bss)) {
    const std::uint32_t size = 2u + bss.Maker[1];
    if (size <= kMakerSlotBytes) {
      std::memcpy(at, bss.Maker, size);
      at += size;
    }
  }

  const auto bodyLength = static_cast<std::uint32_t>(at - body);
  Put16(f, bodyLength);
  frame->Length = kChipHeaderBytes + bodyLength;
  // Kept for the association information; a request too long for the copy leaves it empty.
  st.AssociationRequestLength = 0;
  if (frame->Length <= kSavedRequestBytes) {
    std::memcpy(st.AssociationRequest, f, frame->Length);
    st.AssociationRequestLength = frame->Length;
  }
  core->MlmeState = reassociation ? kMlmeReassociationSent : kMlmeAssociationSent;
  ArmMlmeTimer(core, kMlmeWaitMs);
  QueueManagementFrame(core, frame);
  return StatusSuccess;
}

}  // namespace

ULONG SendAssociationRequest(CoreAdapter* core, const std::uint8_t* bssid) {
  if (bssid == nullptr) return StatusBadArgument;
  if (core->MlmeState != kMlmeAuthenticated) return StatusFailure;
  if (CcxCckmWanted(core)) {
    // A CCKM roam reassociates with the host's CCKM element: the request goes out when the
    // element comes, or without it after 500 ms.
    CcxRequestCckm(core, bssid);
    return StatusSuccess;
  }
  return SendRequest(core, bssid, false);
}

ULONG SendReassociationRequest(CoreAdapter* core, const std::uint8_t* bssid) {
  if (bssid == nullptr) return StatusBadArgument;
  if (core->MlmeState != kMlmeAuthenticated) return StatusFailure;
  return SendRequest(core, bssid, true);
}

ULONG HandleAssocResponse(CoreAdapter* core, const std::uint8_t* frame, std::uint32_t length) {
  CancelTimer(core, kTimerMlme);
  constexpr std::uint32_t kFixed = 6;  // capability, status, association id
  if (length < kChipHeaderBytes + kFixed) return StatusFailure;
  const std::uint8_t* body = frame + kChipHeaderBytes;
  if (Get16(body + 2) != 0) return StatusFailure;
  StationState& st = core->Station;

  st.AssociationResponseLength = length <= kSavedResponseBytes ? length : kSavedResponseBytes;
  std::memcpy(st.AssociationResponse, frame, st.AssociationResponseLength);
  const std::uint8_t oldErp = st.Erp;
  const std::uint16_t oldCapability = core->Capability;
  TakeBssParameters(core);
  st.Erp = st.CurrentBss.Elements.Erp & kErpUseProtection;
  if (st.Erp != oldErp) hal::SendCmd010F(core->Hal, st.Erp != 0 ? 1 : 0);

  core->MlmeState = kMlmeAssociated;
  SetLedPattern(core, kLedEventAssociated);
  core->AssociationId = Get16(body + 4) & 0x3FFF;
  if (core->WirelessMode == kWirelessModeBOnly) std::memset(st.Rates + 4, 0, sizeof st.Rates - 4);

  std::uint8_t association[6 + 2 + 2];
  std::memcpy(association, core->Bssid.data(), 6);
  Put16(association + 6, core->AssociationId);
  Put16(association + 8, core->Capability);
  hal::SendSetAssociation(core->Hal, association, &ContinueByState);
  SendRateSet(core);
  SetRateMode(core);
  if (((oldCapability ^ core->Capability) & kCapabilityShortSlot) != 0)
    hal::SendCmd0114(core->Hal, (core->Capability & kCapabilityShortSlot) != 0 ? 1 : 0);

  CancelTimer(core, kTimerLinkMonitor);
  const bool networkEap = core->Oid.ccxNetworkEap == 1 || core->Oid.ccxNetworkEap == 3;
  if (!networkEap && (core->Config.authMode == 0 || core->Config.authMode == 8)) {
    CcxSendRoamReport(core);
    CcxSaveCurrentAp(core);
  }
  if (core->Config.signalThreshold != kSignalCheckOff) StartRoamCheck(core);
  RestartLinkMonitor(core);
  return StatusSuccess;
}

}  // namespace zelnic::core
