// The driver entry and the miniport handlers: start-up, shut-down, removal, reset, hang
// check, interrupts gated on the adapter's state, OID requests, and received packets
// coming back from NDIS.
#include "driver/ndis/miniport.h"

#include "driver/core/core_adapter_ops.h"
#include "driver/hal/hal_adapter_ops.h"
#include "driver/ndis/os_class.h"
#include "driver/ndis/os_service_table.h"
#include "driver/ndis/packet_reserved.h"
#include "driver/ndis/shell_oids.h"
#include "driver/ndis/status_codes.h"

void CompletePendingSends(MiniportContext* context, NDIS_STATUS status);

namespace {

NDIS_HANDLE g_wrapperHandle = nullptr;
const ShellLinks* g_links = nullptr;

constexpr UINT kCheckForHangSeconds = 5;
constexpr ULONG kAttributeFlags = NDIS_ATTRIBUTE_BUS_MASTER | NDIS_ATTRIBUTE_DESERIALIZE |
                                  NDIS_ATTRIBUTE_NO_HALT_ON_SUSPEND | NDIS_ATTRIBUTE_SURPRISE_REMOVE_OK |
                                  NDIS_ATTRIBUTE_USES_SAFE_BUFFER_APIS;
constexpr ULONG kOlderSystemHaltSleepUs = 2'000'000;

MiniportContext* ContextOf(NDIS_HANDLE handle) { return static_cast<MiniportContext*>(handle); }

HalAdapter* HalOf(MiniportContext* context) {
  return context->Container != nullptr ? context->Container->Hal : nullptr;
}

bool ServesInterrupts(const MiniportContext* context) {
  return context->State == MiniportInitialising || context->State == MiniportRunning;
}

bool HasRequiredLinks(const ShellLinks* links) {
  return links != nullptr && links->CreateCoreAdapter != nullptr && links->StartCore != nullptr &&
         links->LeaveNetworkForHalt != nullptr && links->IsMediaConnected != nullptr && links->QueryOid != nullptr &&
         links->SetOid != nullptr && links->StopFirmware != nullptr && links->StartTransmit != nullptr;
}

// Builds the three layers under the container. StatusSuccess or the failing step's status.
ULONG CreateLayers(AdapterContainer* container) {
  if (CreateOsLayer(container, &container->Os) != StatusSuccess) return StatusFailure;
  ULONG status = StatusFailure;
  CoreAdapter* core = g_links->CreateCoreAdapter(&status, container);
  if (core == nullptr) return StatusFailure;
  container->Core = core;
  return container->Hal != nullptr ? StatusSuccess : StatusFailure;
}

}  // namespace

const ShellLinks& Links() {
  static const ShellLinks kNone{};
  return g_links != nullptr ? *g_links : kNone;
}

void UseShellLinks(const ShellLinks* links) { g_links = links; }
NDIS_HANDLE DriverWrapperHandle() { return g_wrapperHandle; }

NDIS_STATUS ShellDriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath, const ShellLinks* links) {
  if (driverObject == nullptr || registryPath == nullptr || !HasRequiredLinks(links)) return NDIS_STATUS_FAILURE;
  UseShellLinks(links);
  NDIS_HANDLE wrapper = nullptr;
  NdisInitializeWrapper(&wrapper, driverObject, registryPath, nullptr);
  if (wrapper == nullptr) return NDIS_STATUS_FAILURE;

  NDIS51_MINIPORT_CHARACTERISTICS c;
  NdisZeroMemory(&c, sizeof c);
  c.MajorNdisVersion = 5;
  c.MinorNdisVersion = 1;
  c.InitializeHandler = &MiniportInitialize;
  c.HaltHandler = &MiniportHalt;
  c.CheckForHangHandler = &MiniportCheckForHang;
  c.EnableInterruptHandler = &MiniportEnableInterrupt;
  c.ISRHandler = &MiniportIsr;
  c.HandleInterruptHandler = &MiniportHandleInterrupt;
  c.QueryInformationHandler = &MiniportQueryInformation;
  c.SetInformationHandler = &MiniportSetInformation;
  c.ResetHandler = &MiniportReset;
  c.SendPacketsHandler = &MiniportSendPackets;
  c.ReturnPacketHandler = &MiniportReturnPacket;
  c.PnPEventNotifyHandler = &MiniportPnPEventNotify;
  c.AdapterShutdownHandler = &MiniportShutdown;
  const NDIS_STATUS status = NdisMRegisterMiniport(wrapper, &c, sizeof c);
  if (status != NDIS_STATUS_SUCCESS) {
    NdisTerminateWrapper(wrapper, nullptr);
    return status;
  }
  g_wrapperHandle = wrapper;
  if (links->ClearControlDevices != nullptr) links->ClearControlDevices();
  CacheOsClass(DetermineOsClass());
  return NDIS_STATUS_SUCCESS;
}

NDIS_STATUS MiniportInitialize(PNDIS_STATUS openErrorStatus, PUINT selectedMediumIndex, PNDIS_MEDIUM mediumArray,
                               UINT mediumArraySize, NDIS_HANDLE adapterHandle, NDIS_HANDLE configurationContext) {
  if (openErrorStatus == nullptr || selectedMediumIndex == nullptr || mediumArray == nullptr ||
      adapterHandle == nullptr || configurationContext == nullptr) {
    return NDIS_STATUS_FAILURE;
  }
  UINT medium = 0;
  while (medium < mediumArraySize && mediumArray[medium] != NdisMedium802_3) ++medium;
  if (medium == mediumArraySize) return NDIS_STATUS_UNSUPPORTED_MEDIA;
  *selectedMediumIndex = medium;

  MiniportContext* context = CreateMiniportContext(adapterHandle);
  if (context == nullptr) return NDIS_STATUS_RESOURCES;
  NdisMSetAttributesEx(adapterHandle, context, kCheckForHangSeconds, kAttributeFlags, NdisInterfacePci);
  const bool manyRegisters = OsClass() == 2;
  const NDIS_STATUS mapped =
      NdisMAllocateMapRegisters(adapterHandle, 0, NDIS_DMA_32BITS, manyRegisters ? 32 : 1, manyRegisters ? 1600 : 2);
  if (mapped != NDIS_STATUS_SUCCESS) {
    context->Destroy(context);
    return mapped;
  }
  context->MapRegistersAllocated = TRUE;

  AdapterContainer* container = CreateAdapterContainer(context, adapterHandle, configurationContext);
  if (container == nullptr) {
    context->Destroy(context);
    return NDIS_STATUS_RESOURCES;
  }
  context->Container = container;
  if (CreateLayers(container) != StatusSuccess) {
    context->Destroy(context);
    return NDIS_STATUS_FAILURE;
  }

  context->State = MiniportInitialising;
  context->Removed = 0;
  context->Started = 1;
  context->UtilityMode = 0;
  context->Ready = kMiniportReady;

  HalAdapter* hal = container->Hal;
  const ULONG started = HalOps(hal).Start(hal);
  if (started != 0) {
    context->Destroy(context);
    return static_cast<NDIS_STATUS>(started);
  }

  container->Context = context;
  context->WrapperHandle = g_wrapperHandle;
  if (g_links->RegisterControlDevice != nullptr) g_links->RegisterControlDevice(context);
  g_links->StartCore(container->Core);
  context->State = MiniportRunning;
  return NDIS_STATUS_SUCCESS;
}

void MiniportHalt(NDIS_HANDLE handle) {
  MiniportContext* context = ContextOf(handle);
  AdapterContainer* container = context->Container;
  if (container == nullptr) {
    // Nothing is left below the shell (surprise removal took it); the context still goes.
    context->Destroy(context);
    return;
  }
  g_links->LeaveNetworkForHalt(container->Core);
  if (OsClass() == 1) NdisMSleep(kOlderSystemHaltSleepUs);
  g_links->StopFirmware(container->Hal);
  context->State = MiniportHalted;
  context->Removed = 1;
  CoreOps(container->Core).Halt(container->Core, 1);
  CompletePendingSends(context, NDIS_STATUS_SUCCESS);
  context->Destroy(context);
}

void MiniportPnPEventNotify(NDIS_HANDLE handle, NDIS_DEVICE_PNP_EVENT event, PVOID, ULONG) {
  MiniportContext* context = ContextOf(handle);
  if (context->State == MiniportHalted || event != NdisDevicePnPEventSurpriseRemoved) return;
  context->State = MiniportHalted;
  context->Removed = 1;
  AdapterContainer* container = context->Container;
  if (container == nullptr) return;
  CoreOps(container->Core).Halt(container->Core, 1);
  CompletePendingSends(context, NDIS_STATUS_SUCCESS);
  if (!IsOlderSystem() && g_links->WaitForUtilityClose != nullptr) g_links->WaitForUtilityClose(context);
  container->Destroy(container);
  context->Container = nullptr;
}

NDIS_STATUS MiniportReset(PBOOLEAN addressingReset, NDIS_HANDLE handle) {
  MiniportContext* context = ContextOf(handle);
  *addressingReset = TRUE;
  HalAdapter* hal = HalOf(context);
  if (context->Removed || hal == nullptr) {
    *addressingReset = FALSE;
    return NDIS_STATUS_SUCCESS;
  }
  context->State = MiniportResetting;
  const ULONG status = HalOps(hal).Reset(hal);
  if (status == StatusSuccess) context->State = MiniportRunning;
  return MapStatus(status);
}

BOOLEAN MiniportCheckForHang(NDIS_HANDLE handle) {
  MiniportContext* context = ContextOf(handle);
  HalAdapter* hal = HalOf(context);
  if (context->Removed || context->State != MiniportRunning || hal == nullptr) return FALSE;
  const BOOLEAN hung = HalOps(hal).HangCheck(hal);
  if (hung) context->State = MiniportHung;
  return hung;
}

void MiniportShutdown(PVOID handle) {
  MiniportContext* context = ContextOf(handle);
  HalAdapter* hal = HalOf(context);
  if (IsOlderSystem() && hal != nullptr) HalOps(hal).Shutdown(hal);
}

void MiniportEnableInterrupt(NDIS_HANDLE handle) {
  HalAdapter* hal = HalOf(ContextOf(handle));
  if (hal != nullptr) HalOps(hal).EnableInterrupts(hal);
}

void MiniportIsr(PBOOLEAN recognized, PBOOLEAN queueDeferred, NDIS_HANDLE handle) {
  MiniportContext* context = ContextOf(handle);
  HalAdapter* hal = HalOf(context);
  const bool ours = ServesInterrupts(context) && hal != nullptr && HalOps(hal).Isr(hal) == 1;
  *recognized = ours ? TRUE : FALSE;
  *queueDeferred = ours ? TRUE : FALSE;
}

void MiniportHandleInterrupt(NDIS_HANDLE handle) {
  MiniportContext* context = ContextOf(handle);
  HalAdapter* hal = HalOf(context);
  if (ServesInterrupts(context) && hal != nullptr) HalOps(hal).InterruptDpc(hal);
}

// Readiness of a request and its counters. A removed adapter answers ADAPTER_REMOVED
// (removal also leaves the state not running, so the removed test comes first).
static NDIS_STATUS BeginRequest(const MiniportContext* context, PULONG done, PULONG needed) {
  if (context->Removed) return NDIS_STATUS_ADAPTER_REMOVED;
  if (context->State != MiniportRunning) return NDIS_STATUS_ADAPTER_NOT_READY;
  if (done == nullptr || needed == nullptr) return NDIS_STATUS_FAILURE;
  *done = 0;
  *needed = 0;
  return NDIS_STATUS_SUCCESS;
}

NDIS_STATUS MiniportQueryInformation(NDIS_HANDLE handle, NDIS_OID oid, PVOID buffer, ULONG length, PULONG written,
                                     PULONG needed) {
  MiniportContext* context = ContextOf(handle);
  const NDIS_STATUS ready = BeginRequest(context, written, needed);
  if (ready != NDIS_STATUS_SUCCESS) return ready;
  NDIS_STATUS status;
  if (ShellQueryOid(context, oid, buffer, length, written, needed, &status)) return status;
  return g_links->QueryOid(context->Container->Core, oid, buffer, length, written, needed);
}

NDIS_STATUS MiniportSetInformation(NDIS_HANDLE handle, NDIS_OID oid, PVOID buffer, ULONG length, PULONG read,
                                   PULONG needed) {
  MiniportContext* context = ContextOf(handle);
  const NDIS_STATUS ready = BeginRequest(context, read, needed);
  if (ready != NDIS_STATUS_SUCCESS) return ready;
  return MapStatus(ShellSetOid(context, oid, buffer, length, read, needed));
}

void MiniportReturnPacket(NDIS_HANDLE handle, PNDIS_PACKET packet) {
  MiniportContext* context = ContextOf(handle);
  NDIS_SET_PACKET_STATUS(packet, NDIS_STATUS_SUCCESS);
  PacketReserved* reserved = ReservedOf(packet);
  if (reserved->ReceiveRecord == nullptr) return;
  for (PNDIS_BUFFER buffer = packet->Private.Head; buffer != nullptr;) {
    PNDIS_BUFFER next;
    NdisGetNextBuffer(buffer, &next);
    NdisFreeBuffer(buffer);
    buffer = next;
  }
  NdisReinitializePacket(packet);
  HalAdapter* hal = HalOf(context);
  if (hal != nullptr) HalOps(hal).ReturnReceiveBuffer(hal, static_cast<ReceiveRecord*>(reserved->ReceiveRecord));
}
