// The station core object: its operations table, creation, start, halt and destruction, and
// the small services the chip layer and the OID layer ask of it.
#include "driver/core/core_adapter.h"

#include <cstring>
#include <new>

#include "driver/core/bss_table.h"
#include "driver/core/channels.h"
#include "driver/core/frame_tests.h"
#include "driver/core/link_monitor.h"
#include "driver/core/station_seams.h"
#include "driver/hal/firmware_commands.h"
#include "driver/hal/hal_adapter.h"
#include "driver/ndis/shell_links.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {
namespace {

constexpr char kDefaultSsid[] = "default";
constexpr std::uint32_t kOpsBytes = sizeof(CoreAdapterOps);  // 16 entries

void NoOperation(CoreAdapter*) {}

void FillOps(CoreAdapterOps& ops) {
  ops = CoreAdapterOps{};
  ops.Init = &Init;
  ops.Halt = &Halt;
  ops.NoOperation2 = &NoOperation;
  ops.NoOperation3 = &NoOperation;
  ops.Send = &Send;
  ops.SendComplete = &SendComplete;
  ops.Receive = &Receive;
  ops.NoOperation7 = &NoOperation;
  ops.FirmwareEvent = &CcxFirmwareEvent;
  ops.Encrypt = &Encrypt;
  ops.Decrypt = &Decrypt;
  ops.IsFromCurrentBss = &IsFromCurrentBss;
  ops.IsUnicastFromBss = &IsUnicastFromBss;
  ops.Destroy = &Destroy;
}

hal::HalCoreLink ChipLayerLink(CoreAdapter* core) {
  hal::HalCoreLink link;
  link.core = core;
  link.radioOn = &core->Config.radioOn;
  link.DisconnectByState = &DisconnectByState;
  link.PostUtilityEvent = &PostEvent;
  link.StoreFirmwareStatistics = [](CoreAdapter* c, const std::uint8_t* reply) {
    StoreFirmwareStatistics(c, reply);
    StatisticsArrived(c);
  };
  link.SetCcxWord = &CcxSetParentTsf;  // the chip's time for a beacon report
  link.StoreMeasurement = [](CoreAdapter* c, const std::uint32_t* words, std::uint32_t count) {
    const std::uint32_t kept = count < 8 ? count : 8;
    std::memcpy(c->Measurement, words, kept * sizeof(std::uint32_t));
  };
  link.FirmwareEvent = [](CoreAdapter* c) { CoreOps(c).FirmwareEvent(c); };
  link.SendManagementFrame = &SendManagementFrame;
  link.ManagementQueueLength = &ManagementQueueLength;
  link.PowerSaveAllowed = &PowerSaveAllowed;
  link.StoreSignal = [](CoreAdapter* c, std::int32_t dbm) { c->LastRssi = dbm; };
  return link;
}

ULONG AllocateTable(CoreAdapter* core, std::uint8_t*& table, std::uint32_t size) {
  PVOID memory = nullptr;
  if (core->Os->Table->Allocate(core->Os, &memory, size, 0, nullptr) != StatusSuccess) return StatusFailure;
  table = static_cast<std::uint8_t*>(memory);
  return StatusSuccess;
}

void FreeTable(CoreAdapter* core, std::uint8_t*& table, std::uint32_t size) {
  if (table != nullptr) core->Os->Table->Free(core->Os, table, size, 0, nullptr);
  table = nullptr;
}

}  // namespace

void ReturnToChipLayer(void* context, ReceiveRecord* record) {
  auto* core = static_cast<CoreAdapter*>(context);
  HalOps(core->Hal).ReturnReceiveBuffer(core->Hal, record);
}

CoreAdapter* CreateCoreAdapter(ULONG* status, AdapterContainer* container) {
  OsLayer* os = container->Os;
  PVOID memory = nullptr;
  *status = os->Table->Allocate(os, &memory, sizeof(CoreAdapter), 0, nullptr);
  if (*status != StatusSuccess) return nullptr;
  auto* core = new (memory) CoreAdapter{};
  core->SwiftBond.link.core = core;
  core->Ccx.cckmLink.core = core;
  core->Os = os;
  core->Head.Container = container;
  container->Core = core;

  PVOID ops = nullptr;
  *status = os->Table->Allocate(os, &ops, kOpsBytes, 0, nullptr);
  if (*status == StatusSuccess) {
    FillOps(*static_cast<CoreAdapterOps*>(ops));
    core->Head.Ops = static_cast<CoreAdapterOps*>(ops);
    *status = CoreOps(core).Init(core);
  }
  if (*status == StatusSuccess) {
    *status = hal::CreateHalAdapter(container, ChipLayerConfiguration(core->Config), ChipLayerLink(core), &core->Hal);
    if (*status == StatusSuccess) {
      container->Hal = core->Hal;
      core->Hal->powerMode = 0;
      core->Hal->powerSaveFlags = 0;
    }
  }
  if (*status == StatusSuccess) *status = CreateManagementPool(core);
  if (*status != StatusSuccess) {
    Destroy(core);
    return nullptr;
  }
  return core;
}

ULONG Init(CoreAdapter* core) {
  if (AllocateTable(core, core->BssTable, kBssTableBytes) != StatusSuccess ||
      AllocateTable(core, core->ShadowBssTable, kBssTableBytes) != StatusSuccess ||
      AllocateTable(core, core->ScanList, kScanListBytes) != StatusSuccess)
    return StatusFailure;
  OsServiceTable& table = *core->Os->Table;
  table.AllocateSpinLock(&core->FlagsLock);
  table.AllocateSpinLock(&core->CcxLock);
  core->LocksReady = true;

  core->MediaDisconnected = 1;
  core->SupportedRates = kSupportedRates;
  core->StationAddress.fill(0xFF);
  core->ProbeAddress.fill(0xFF);
  core->Bssid.fill(0);
  core->CurrentSsid.length = sizeof kDefaultSsid - 1;
  std::memcpy(core->CurrentSsid.bytes, kDefaultSsid, core->CurrentSsid.length);

  LoadAdapterConfig(core->Config, core->Head.Container->ConfigurationContext);
  core->AdhocMode = core->Config.adhocGMode == 1 ? 1 : 0;
  core->MlmeState = core->Config.networkMode == 0 ? kMlmeIbssIdle : kMlmeIdle;
  core->WirelessMode = 255;
  return InitCoreTimers(core);
}

void StartCore(CoreAdapter* core) {
  HalAdapter* hal = core->Hal;
  // The registry's NetworkAddress, else the address the chip reported.
  const hal::MacAddress address = core->Config.stationAddress.value_or(hal->currentMac);
  core->StationAddress = address;
  if (address != hal->currentMac && hal::SendSetMacAddress(hal, address) == NDIS_STATUS_SUCCESS)
    hal->currentMac = address;
  FillScanChannels(core->ScanChannels, core->Config.channelRange, hal::RegionIndex(hal));
  IndicateDisconnected(core);
  if (core->Config.radioOn == 1) StartLinkMonitor(core, kLinkMonitorStartMs);
}

void Halt(CoreAdapter* core, ULONG argument) {
  core->MlmeState = kMlmeAuthenticated;
  CancelAllTimers(core);
  DropHeldFrame(core);
  DiscardReassembly(core->Reassembly);
  ResetPendingFrame(core);
  HalOps(core->Hal).Stop(core->Hal, argument);
}

void Destroy(CoreAdapter* core) {
  OsLayer* os = core->Os;
  AdapterContainer* container = core->Head.Container;
  if (core->Hal != nullptr) core->Hal->link = hal::HalCoreLink{};
  ClearAllTimers(core);
  FreeManagementPool(core);
  if (core->Hal != nullptr) {
    HalOps(core->Hal).Destroy(core->Hal);
    core->Hal = nullptr;
    if (container != nullptr) container->Hal = nullptr;
  }
  FreeTable(core, core->BssTable, kBssTableBytes);
  FreeTable(core, core->ShadowBssTable, kBssTableBytes);
  FreeTable(core, core->ScanList, kScanListBytes);
  if (core->LocksReady) {
    os->Table->FreeSpinLock(&core->FlagsLock);
    CcxFreeMeasurementQueue(core);
    os->Table->FreeSpinLock(&core->CcxLock);
    core->LocksReady = false;
  }
  if (core->Head.Ops != nullptr)
    os->Table->Free(os, const_cast<CoreAdapterOps*>(core->Head.Ops), kOpsBytes, 0, nullptr);
  if (container != nullptr && container->Core == core) container->Core = nullptr;
  core->~CoreAdapter();
  os->Table->Free(os, core, sizeof(CoreAdapter), 0, nullptr);
}

BOOLEAN IsMediaConnected(CoreAdapter* core) { return core->MediaDisconnected ? FALSE : TRUE; }

void LeaveNetworkForHalt(CoreAdapter* core) { DeauthenticateIfConnected(core); }

BOOLEAN IsFromCurrentBss(CoreAdapter* core, const UCHAR* frame) {
  if (core->MlmeState != kMlmeAssociated && core->MlmeState != kMlmeIbssJoined) return FALSE;
  return std::memcmp(frame + kAddress3, core->Bssid.data(), 6) == 0 ? TRUE : FALSE;
}

BOOLEAN IsUnicastFromBss(CoreAdapter* core, const UCHAR* frame) {
  if (IsManagementFrame(frame)) return FALSE;
  std::uint32_t from = 0;
  if (core->MlmeState == kMlmeAssociated) {
    from = kAddress2;
  } else if (core->MlmeState == kMlmeIbssJoined) {
    from = kAddress3;
  } else {
    return FALSE;
  }
  if (std::memcmp(frame + from, core->Bssid.data(), 6) != 0) return FALSE;
  return IsBroadcast(frame + kAddress1) ? FALSE : TRUE;
}

bool PowerSaveAllowed(CoreAdapter* core) { return core->Flags == 0 && core->Config.networkMode == 1; }

std::uint32_t ResetLinkCounters(CoreAdapter* core) {
  core->Link.MissedBeacons = 0;
  core->Link.AssociatedTicks = 0;
  core->Link.BeaconsReceived = 0;
  return core->MlmeState == kMlmeAssociated ? 1 : 2;
}

bool ShortPreambleAllowed(CoreAdapter* core) {
  constexpr std::uint16_t kShortPreamble = 0x0020;
  std::uint16_t capability = 0;
  if (core->MediaDisconnected || !CurrentBssCapability(core, capability)) return true;
  return (capability & kShortPreamble) != 0;
}

void StoreFirmwareStatistics(CoreAdapter* core, const std::uint8_t* reply) {
  constexpr std::uint32_t kFirstCounter = 12;
  for (std::uint32_t i = 0; i < kFirmwareCounterCount; ++i) {
    const std::uint8_t* p = reply + kFirstCounter + 4 * i;
    core->FirmwareCounters[i] = p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
  }
}

void StatisticsArrived(CoreAdapter* core) { core->TxFailPhase = 2; }

void SetFlags(CoreAdapter* core, std::uint32_t bits) {
  core->Os->Table->AcquireSpinLock(&core->FlagsLock);
  core->Flags |= bits;
  core->Os->Table->ReleaseSpinLock(&core->FlagsLock);
}

void ClearFlags(CoreAdapter* core, std::uint32_t bits) {
  core->Os->Table->AcquireSpinLock(&core->FlagsLock);
  core->Flags &= ~bits;
  core->Os->Table->ReleaseSpinLock(&core->FlagsLock);
}

void IndicateMediaSpecific(CoreAdapter* core, const void* payload, std::uint32_t length) {
  NDIS_HANDLE handle = core->Head.Container->MiniportAdapterHandle;
  NdisMIndicateStatus(handle, NDIS_STATUS_MEDIA_SPECIFIC_INDICATION, const_cast<void*>(payload), length);
  NdisMIndicateStatusComplete(handle);
}

void PostEvent(CoreAdapter*, std::uint32_t code, const void* payload, std::uint32_t length) {
  if (Links().PostUtilityEvent != nullptr) Links().PostUtilityEvent(code, payload, length);
}

}  // namespace zelnic::core
