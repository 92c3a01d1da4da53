// The OS-service slots that find and claim the adapter's resources: PCI configuration
// reads and the resource record (interrupt, memory windows, port ranges).
#include "driver/ndis/miniport_context.h"
#include "driver/ndis/os_class.h"
#include "driver/ndis/os_service_table.h"
#include "driver/ndis/status_codes.h"

ULONG ReadPciConfig(OsLayer* os, ULONG offset, PVOID buffer, ULONG length);

namespace {

constexpr ULONG kWindowSize = 0x10000;
constexpr ULONG kPciIdentity = 0x00;
constexpr ULONG kPciSubsystem = 0x2C;
constexpr ULONG kPciBar0 = 0x10;
constexpr ULONG kPciBar1 = 0x14;
constexpr USHORT CM_RESOURCE_INTERRUPT_LATCHED = 1;

NDIS_HANDLE AdapterHandleOf(OsLayer* os) { return os->Container->MiniportAdapterHandle; }

void ReleaseAdapterResources(AdapterResources* resources) {
  if (resources == nullptr) return;
  OsLayer* os = resources->Os;
  const NDIS_HANDLE adapter = AdapterHandleOf(os);
  for (ULONG i = 0; i < resources->PortCount; ++i) {
    NdisMDeregisterIoPortRange(adapter, resources->Ports[i].First, resources->Ports[i].Count,
                               resources->Ports[i].Offset);
  }
  for (ULONG i = 0; i < resources->WindowCount; ++i) {
    NdisMUnmapIoSpace(adapter, resources->Windows[i].Virtual, resources->Windows[i].Length);
  }
  if (resources->InterruptRegistered) NdisMDeregisterInterrupt(&resources->Interrupt);
  os->Table->Free(os, resources, sizeof(AdapterResources), 0, nullptr);
}

bool MapWindow(OsLayer* os, AdapterResources* resources, LONGLONG physical, ULONG length) {
  if (resources->WindowCount >= kMaxResourceRanges) return true;  // beyond ten: not used
  auto& window = resources->Windows[resources->WindowCount];
  window.Physical.QuadPart = physical;
  window.Length = length;
  if (NdisMMapIoSpace(&window.Virtual, AdapterHandleOf(os), window.Physical, length) != NDIS_STATUS_SUCCESS) {
    return false;
  }
  ++resources->WindowCount;
  return true;
}

// Older systems can hand over a list that holds only the interrupt: then the windows come
// from the base address registers themselves.
bool MapBarsDirectly(OsLayer* os, AdapterResources* resources) {
  const ULONG bars[] = {kPciBar0, kPciBar1};
  for (ULONG bar : bars) {
    ULONG value = 0;
    if (ReadPciConfig(os, bar, &value, sizeof value) != StatusSuccess) return false;
    if (!MapWindow(os, resources, value & ~0xFu, kWindowSize)) return false;
  }
  return true;
}

bool ClaimDescriptor(OsLayer* os, AdapterResources* resources, const CM_PARTIAL_RESOURCE_DESCRIPTOR& d) {
  switch (d.Type) {
    case CmResourceTypePort: {
      if (resources->PortCount >= kMaxResourceRanges) return true;
      auto& port = resources->Ports[resources->PortCount];
      port.First = d.u.Port.Start.LowPart;
      port.Count = d.u.Port.Length;
      if (NdisMRegisterIoPortRange(&port.Offset, AdapterHandleOf(os), port.First, port.Count) !=
          NDIS_STATUS_SUCCESS) {
        return false;
      }
      ++resources->PortCount;
      return true;
    }
    case CmResourceTypeInterrupt: {
      if (resources->InterruptRegistered) return true;  // the first one only
      resources->InterruptLevel = d.u.Interrupt.Level;
      resources->InterruptVector = d.u.Interrupt.Vector;
      const NDIS_INTERRUPT_MODE mode =
          (d.Flags & CM_RESOURCE_INTERRUPT_LATCHED) != 0 ? NdisInterruptLatched : NdisInterruptLevelSensitive;
      if (NdisMRegisterInterrupt(&resources->Interrupt, AdapterHandleOf(os), d.u.Interrupt.Vector,
                                 d.u.Interrupt.Level, TRUE, TRUE, mode) != NDIS_STATUS_SUCCESS) {
        return false;
      }
      resources->InterruptRegistered = TRUE;
      return true;
    }
    case CmResourceTypeMemory:
      return MapWindow(os, resources, d.u.Memory.Start.QuadPart, d.u.Memory.Length);
    default:
      return true;
  }
}

}  // namespace

ULONG ReadPciConfig(OsLayer* os, ULONG offset, PVOID buffer, ULONG length) {
  const ULONG read = NdisReadPciSlotInformation(AdapterHandleOf(os), 0, offset, buffer, length);
  return read == length ? StatusSuccess : StatusInvalidLength;
}

ULONG GetAdapterResources(OsLayer* os, AdapterResources** out) {
  *out = nullptr;
  ULONG identity = 0, subsystem = 0;
  if (ReadPciConfig(os, kPciIdentity, &identity, sizeof identity) != StatusSuccess ||
      ReadPciConfig(os, kPciSubsystem, &subsystem, sizeof subsystem) != StatusSuccess) {
    return StatusAdapterNotFound;
  }
  PVOID memory = nullptr;
  if (os->Table->Allocate(os, &memory, sizeof(AdapterResources), 0, nullptr) != StatusSuccess) return StatusResources;
  auto* resources = static_cast<AdapterResources*>(memory);
  resources->Release = &ReleaseAdapterResources;
  resources->Os = os;
  resources->VendorId = static_cast<USHORT>(identity & 0xFFFF);
  resources->DeviceId = static_cast<USHORT>(identity >> 16);
  resources->SubsystemId = subsystem;
  resources->SlotNumber = 0;

  struct {
    NDIS_RESOURCE_LIST list;
    CM_PARTIAL_RESOURCE_DESCRIPTOR more[2 * kMaxResourceRanges];
  } storage{};
  NDIS_RESOURCE_LIST* list = &storage.list;
  UINT size = sizeof storage;
  NDIS_STATUS status;
  NdisMQueryAdapterResources(&status, os->Container->ConfigurationContext, list, &size);
  bool claimed = status == NDIS_STATUS_SUCCESS;
  const CM_PARTIAL_RESOURCE_DESCRIPTOR* descriptors = list->PartialDescriptors;
  if (claimed && OsClass() <= 2 && list->Count == 1 && descriptors[0].Type == CmResourceTypeInterrupt) {
    claimed = MapBarsDirectly(os, resources);
  }
  for (ULONG i = 0; claimed && i < list->Count; ++i) claimed = ClaimDescriptor(os, resources, descriptors[i]);
  if (!claimed) {
    ReleaseAdapterResources(resources);
    return StatusResources;
  }
  *out = resources;
  return StatusSuccess;
}
