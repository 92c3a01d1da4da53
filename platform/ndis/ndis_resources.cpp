// PCI configuration space, the resource list, memory windows, port ranges and the
// interrupt.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "platform/ndis/adapter_runtime.h"

using ndis::AdapterRuntime;

namespace {

constexpr ULONG kPciConfigSize = 256;

ULONG PciAccess(NDIS_HANDLE handle, ULONG offset, PVOID buffer, ULONG length, bool write, const char* call) {
  AdapterRuntime& adapter = AdapterRuntime::fromMiniportHandle(handle, call);
  adapter.requireIrqlAtMost(DISPATCH_LEVEL, call);
  if (offset >= kPciConfigSize || buffer == nullptr) return 0;
  const ULONG count = std::min(length, kPciConfigSize - offset);
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  if (write) return static_cast<ULONG>(adapter.chip().writePciConfig(offset, {bytes, count}));
  return static_cast<ULONG>(adapter.chip().readPciConfig(offset, {bytes, count}));
}

}  // namespace

ULONG NdisReadPciSlotInformation(NDIS_HANDLE NdisAdapterHandle, ULONG, ULONG Offset, PVOID Buffer, ULONG Length) {
  return PciAccess(NdisAdapterHandle, Offset, Buffer, Length, false, "NdisReadPciSlotInformation");
}

ULONG NdisWritePciSlotInformation(NDIS_HANDLE NdisAdapterHandle, ULONG, ULONG Offset, PVOID Buffer, ULONG Length) {
  return PciAccess(NdisAdapterHandle, Offset, Buffer, Length, true, "NdisWritePciSlotInformation");
}

void NdisMQueryAdapterResources(PNDIS_STATUS Status, NDIS_HANDLE WrapperConfigurationContext,
                                PNDIS_RESOURCE_LIST ResourceList, PUINT BufferSize) {
  AdapterRuntime& adapter =
      AdapterRuntime::fromConfigurationContext(WrapperConfigurationContext, "NdisMQueryAdapterResources");
  adapter.requirePassive("NdisMQueryAdapterResources");
  const auto descriptors = adapter.resourceDescriptors();
  const std::size_t needed = offsetof(CM_PARTIAL_RESOURCE_LIST, PartialDescriptors) +
                             descriptors.size() * sizeof(CM_PARTIAL_RESOURCE_DESCRIPTOR);
  if (ResourceList == nullptr || *BufferSize < needed) {
    *BufferSize = static_cast<UINT>(needed);
    *Status = NDIS_STATUS_RESOURCES;
    return;
  }
  ResourceList->Version = 1;
  ResourceList->Revision = 1;
  ResourceList->Count = static_cast<ULONG>(descriptors.size());
  std::memcpy(ResourceList->PartialDescriptors, descriptors.data(),
              descriptors.size() * sizeof(CM_PARTIAL_RESOURCE_DESCRIPTOR));
  *BufferSize = static_cast<UINT>(needed);
  *Status = NDIS_STATUS_SUCCESS;
}

NDIS_STATUS NdisMMapIoSpace(PVOID* VirtualAddress, NDIS_HANDLE MiniportAdapterHandle,
                            NDIS_PHYSICAL_ADDRESS PhysicalAddress, UINT Length) {
  AdapterRuntime& adapter = AdapterRuntime::fromMiniportHandle(MiniportAdapterHandle, "NdisMMapIoSpace");
  adapter.requirePassive("NdisMMapIoSpace");
  *VirtualAddress = nullptr;
  if (PhysicalAddress.QuadPart < 0 || Length == 0) return NDIS_STATUS_FAILURE;
  return adapter.mapIoSpace(VirtualAddress, static_cast<std::uint64_t>(PhysicalAddress.QuadPart), Length);
}

void NdisMUnmapIoSpace(NDIS_HANDLE MiniportAdapterHandle, PVOID VirtualAddress, UINT Length) {
  AdapterRuntime& adapter = AdapterRuntime::fromMiniportHandle(MiniportAdapterHandle, "NdisMUnmapIoSpace");
  adapter.requirePassive("NdisMUnmapIoSpace");
  adapter.unmapIoSpace(VirtualAddress, Length);
}

NDIS_STATUS NdisMRegisterIoPortRange(PVOID* PortOffset, NDIS_HANDLE MiniportAdapterHandle, UINT InitialPort,
                                     UINT NumberOfPorts) {
  AdapterRuntime& adapter = AdapterRuntime::fromMiniportHandle(MiniportAdapterHandle, "NdisMRegisterIoPortRange");
  adapter.requirePassive("NdisMRegisterIoPortRange");
  if (NumberOfPorts == 0 || !adapter.portRanges().emplace(InitialPort, NumberOfPorts).second) {
    *PortOffset = nullptr;
    return NDIS_STATUS_FAILURE;
  }
  // As on x86: the port offset is the port number itself.
  *PortOffset = reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(InitialPort));
  return NDIS_STATUS_SUCCESS;
}

void NdisMDeregisterIoPortRange(NDIS_HANDLE MiniportAdapterHandle, UINT InitialPort, UINT NumberOfPorts, PVOID) {
  AdapterRuntime& adapter = AdapterRuntime::fromMiniportHandle(MiniportAdapterHandle, "NdisMDeregisterIoPortRange");
  auto found = adapter.portRanges().find(InitialPort);
  if (found == adapter.portRanges().end() || found->second != NumberOfPorts) {
    adapter.violation("NdisMDeregisterIoPortRange of a range that is not registered");
    return;
  }
  adapter.portRanges().erase(found);
}

NDIS_STATUS NdisMRegisterInterrupt(PNDIS_MINIPORT_INTERRUPT Interrupt, NDIS_HANDLE MiniportAdapterHandle,
                                   UINT InterruptVector, UINT InterruptLevel, BOOLEAN RequestIsr, BOOLEAN,
                                   NDIS_INTERRUPT_MODE) {
  AdapterRuntime& adapter = AdapterRuntime::fromMiniportHandle(MiniportAdapterHandle, "NdisMRegisterInterrupt");
  adapter.requirePassive("NdisMRegisterInterrupt");
  return adapter.registerInterrupt(Interrupt, InterruptVector, InterruptLevel, RequestIsr != FALSE);
}

void NdisMDeregisterInterrupt(PNDIS_MINIPORT_INTERRUPT Interrupt) {
  if (Interrupt == nullptr || Interrupt->Signature != ndis::kInterruptMagic) {
    ndis::RequireAdapter("NdisMDeregisterInterrupt").violation("NdisMDeregisterInterrupt of an unregistered interrupt");
    return;
  }
  AdapterRuntime& adapter = AdapterRuntime::fromMiniportHandle(Interrupt->Adapter, "NdisMDeregisterInterrupt");
  adapter.requirePassive("NdisMDeregisterInterrupt");
  adapter.deregisterInterrupt(Interrupt);
}

BOOLEAN NdisMSynchronizeWithInterrupt(PNDIS_MINIPORT_INTERRUPT Interrupt, PVOID SynchronizeFunction,
                                      PVOID SynchronizeContext) {
  if (Interrupt == nullptr || Interrupt->Signature != ndis::kInterruptMagic) {
    ndis::FatalFault("NdisMSynchronizeWithInterrupt on an interrupt that is not registered");
  }
  AdapterRuntime& adapter = AdapterRuntime::fromMiniportHandle(Interrupt->Adapter, "NdisMSynchronizeWithInterrupt");
  auto function = reinterpret_cast<PNDIS_SYNCHRONIZE_FUNCTION>(SynchronizeFunction);
  BOOLEAN result = FALSE;
  const KIRQL irql = std::max(ndis::CurrentIrql(), DIRQL_LEVEL);
  adapter.callDriver(irql, "synchronized function", [&] { result = function(SynchronizeContext); });
  return result;
}
