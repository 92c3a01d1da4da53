// The driver's registration with NDIS and the adapter attributes it declares.
#include "platform/ndis/adapter_runtime.h"

using ndis::AdapterRuntime;
using ndis::RequestKind;

constexpr NDIS_STATUS NDIS_STATUS_BAD_VERSION = NdisStatus(0xC0010004);
constexpr NDIS_STATUS NDIS_STATUS_BAD_CHARACTERISTICS = NdisStatus(0xC0010005);

void NdisInitializeWrapper(PNDIS_HANDLE NdisWrapperHandle, PVOID SystemSpecific1, PVOID SystemSpecific2, PVOID) {
  AdapterRuntime& adapter = ndis::RequireAdapter("NdisInitializeWrapper");
  adapter.requirePassive("NdisInitializeWrapper");
  *NdisWrapperHandle = nullptr;
  if (SystemSpecific1 != adapter.driverObject() || SystemSpecific2 != adapter.registryPath()) {
    adapter.violation("NdisInitializeWrapper with another driver object or registry path than the entry's");
  }
  if (adapter.refuse(RequestKind::Wrapper)) return;
  adapter.wrapper().initialized = true;
  *NdisWrapperHandle = adapter.wrapperHandle();
}

void NdisMInitializeWrapper(PNDIS_HANDLE NdisWrapperHandle, PVOID SystemSpecific1, PVOID SystemSpecific2,
                            PVOID SystemSpecific3) {
  NdisInitializeWrapper(NdisWrapperHandle, SystemSpecific1, SystemSpecific2, SystemSpecific3);
}

NDIS_STATUS NdisMRegisterMiniport(NDIS_HANDLE NdisWrapperHandle, PNDIS_MINIPORT_CHARACTERISTICS MiniportCharacteristics,
                                  UINT CharacteristicsLength) {
  AdapterRuntime& adapter = AdapterRuntime::fromWrapperHandle(NdisWrapperHandle, "NdisMRegisterMiniport");
  adapter.requirePassive("NdisMRegisterMiniport");
  const auto& c = *MiniportCharacteristics;
  if (CharacteristicsLength != sizeof(NDIS51_MINIPORT_CHARACTERISTICS) || c.MajorNdisVersion != 5 ||
      c.MinorNdisVersion != 1) {
    return NDIS_STATUS_BAD_VERSION;
  }
  if (c.InitializeHandler == nullptr || c.HaltHandler == nullptr || c.QueryInformationHandler == nullptr ||
      c.SetInformationHandler == nullptr || c.ResetHandler == nullptr ||
      (c.SendHandler == nullptr && c.SendPacketsHandler == nullptr)) {
    return NDIS_STATUS_BAD_CHARACTERISTICS;
  }
  if (adapter.refuse(RequestKind::Registration)) return NDIS_STATUS_RESOURCES;
  adapter.wrapper().characteristics = c;
  adapter.wrapper().registered = true;
  return NDIS_STATUS_SUCCESS;
}

void NdisTerminateWrapper(NDIS_HANDLE NdisWrapperHandle, PVOID) {
  AdapterRuntime& adapter = AdapterRuntime::fromWrapperHandle(NdisWrapperHandle, "NdisTerminateWrapper");
  adapter.wrapper().initialized = false;
  adapter.wrapper().registered = false;
}

void NdisMSetAttributesEx(NDIS_HANDLE MiniportAdapterHandle, NDIS_HANDLE MiniportAdapterContext,
                          UINT CheckForHangTimeInSeconds, ULONG AttributeFlags, NDIS_INTERFACE_TYPE AdapterType) {
  AdapterRuntime& adapter = AdapterRuntime::fromMiniportHandle(MiniportAdapterHandle, "NdisMSetAttributesEx");
  adapter.requirePassive("NdisMSetAttributesEx");
  adapter.setMiniportContext(MiniportAdapterContext);
  adapter.attributes() = ndis::AdapterAttributes{true, CheckForHangTimeInSeconds, AttributeFlags, AdapterType};
}

NDIS_STATUS NdisMAllocateMapRegisters(NDIS_HANDLE MiniportAdapterHandle, UINT DmaChannel, UCHAR DmaSize,
                                      ULONG BaseMapRegistersNeeded, ULONG MaximumPhysicalMapping) {
  AdapterRuntime& adapter = AdapterRuntime::fromMiniportHandle(MiniportAdapterHandle, "NdisMAllocateMapRegisters");
  adapter.requirePassive("NdisMAllocateMapRegisters");
  if (adapter.mapRegisters().allocated) {
    adapter.violation("NdisMAllocateMapRegisters while map registers are allocated");
    return NDIS_STATUS_FAILURE;
  }
  if (BaseMapRegistersNeeded == 0 || adapter.refuse(RequestKind::MapRegisters, BaseMapRegistersNeeded)) {
    return NDIS_STATUS_RESOURCES;
  }
  adapter.mapRegisters() =
      ndis::MapRegisterGrant{true, DmaChannel, DmaSize, BaseMapRegistersNeeded, MaximumPhysicalMapping};
  return NDIS_STATUS_SUCCESS;
}

void NdisMFreeMapRegisters(NDIS_HANDLE MiniportAdapterHandle) {
  AdapterRuntime& adapter = AdapterRuntime::fromMiniportHandle(MiniportAdapterHandle, "NdisMFreeMapRegisters");
  adapter.requirePassive("NdisMFreeMapRegisters");
  if (!adapter.mapRegisters().allocated) {
    adapter.violation("NdisMFreeMapRegisters without map registers");
    return;
  }
  adapter.mapRegisters().allocated = false;
}

BOOLEAN IoIsWdmVersionAvailable(UCHAR MajorVersion, UCHAR MinorVersion) {
  const ndis::AdapterConfig& config = ndis::RequireAdapter("IoIsWdmVersionAvailable").config();
  if (config.wdmMajor == 0 && config.wdmMinor == 0) return FALSE;
  if (MajorVersion != config.wdmMajor) return MajorVersion < config.wdmMajor ? TRUE : FALSE;
  return MinorVersion <= config.wdmMinor ? TRUE : FALSE;
}
