#include "driver/ndis/control_device.h"

#include <string>

#include "driver/ndis/miniport.h"
#include "driver/ndis/os_class.h"
#include "driver/ndis/shell_links.h"
#include "driver/ndis/utility_bssid_list.h"
#include "platform/ndis/ntddndis.h"

namespace {

ControlDeviceTable g_devices;

constexpr ULONG kCloseWaitMicroseconds = 500'000;
constexpr int kCloseWaitSleeps = 199;
constexpr ULONG kAfterScanSleepMicroseconds = 1'000'000;
constexpr KPRIORITY kEventIncrement = 2;

ControlDeviceSlot& CurrentSlot() { return g_devices.Slots[g_devices.Current]; }

ULONG ReadWord(const void* bytes) {
  ULONG value;
  NdisMoveMemory(&value, bytes, 4);
  return value;
}

void WriteWord(void* bytes, ULONG value) { NdisMoveMemory(bytes, &value, 4); }

void ReleaseEvent(PKEVENT* event) {
  if (*event != nullptr) ObDereferenceObject(*event);
  *event = nullptr;
}

// References the event whose handle is the input's first word, releasing the one held
// before (so re-registering never leaks a reference).
bool ReferenceEvent(PIRP irp, ULONG inputLength, PKEVENT* held) {
  if (irp->AssociatedIrp.SystemBuffer == nullptr || inputLength < 4) return false;
  const ULONG handle = ReadWord(irp->AssociatedIrp.SystemBuffer);
  PVOID object = nullptr;
  const NTSTATUS status = ObReferenceObjectByHandle(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(handle)),
                                                    EVENT_MODIFY_STATE, *ExEventObjectType, UserMode, &object,
                                                    nullptr);
  if (status != STATUS_SUCCESS || object == nullptr) return false;
  ReleaseEvent(held);
  *held = static_cast<PKEVENT>(object);
  return true;
}

BOOLEAN QueryThroughDevice(MiniportContext* context, UCHAR* buffer, ULONG inputLength, ULONG outputLength,
                           ULONG* information) {
  if (buffer == nullptr || inputLength < 4 || outputLength < 8) return FALSE;
  const NDIS_OID oid = ReadWord(buffer);
  ULONG written = 0;
  ULONG needed = 0;
  NDIS_STATUS status;
  if (oid == OID_802_11_BSSID_LIST) {
    // The utility's own record shape, from the shadow of the BSS table, held against a copy.
    ULONG listLength = 0;
    CoreAdapter* core = context->Container != nullptr ? context->Container->Core : nullptr;
    NdisInterlockedIncrement(&context->BssCopyBusy);
    const UCHAR* list =
        core != nullptr && Links().ShadowBssList != nullptr ? Links().ShadowBssList(core, &listLength) : nullptr;
    const UCHAR* extras =
        list != nullptr && Links().ShadowBssExtras != nullptr ? Links().ShadowBssExtras(core) : nullptr;
    written = FormatBssidListForUtility(list, listLength, extras, buffer + 4, outputLength - 4);
    NdisInterlockedDecrement(&context->BssCopyBusy);
    status = NDIS_STATUS_SUCCESS;
  } else {
    status = MiniportQueryInformation(context, oid, buffer + 4, outputLength - 4, &written, &needed);
  }
  WriteWord(buffer, static_cast<ULONG>(status));
  *information = 4 + (written < outputLength - 4 ? written : outputLength - 4);
  return TRUE;
}

BOOLEAN SetThroughDevice(MiniportContext* context, UCHAR* buffer, ULONG inputLength, ULONG* information) {
  if (buffer == nullptr || inputLength < 8) return FALSE;
  const NDIS_OID oid = ReadWord(buffer);
  WriteWord(buffer, 0);
  ULONG read = 0;
  ULONG needed = 0;
  context->FromUtility = 1;
  const NDIS_STATUS status = MiniportSetInformation(context, oid, buffer + 4, inputLength - 4, &read, &needed);
  context->FromUtility = 0;
  // A scan from the utility is given a second to find networks before the utility asks.
  if (oid == OID_802_11_BSSID_LIST_SCAN) NdisMSleep(kAfterScanSleepMicroseconds);
  WriteWord(buffer, static_cast<ULONG>(status));
  *information = 4 + (read < inputLength - 4 ? read : inputLength - 4);
  return TRUE;
}

BOOLEAN ControlDeviceIoctl(PIRP irp, ULONG* information) {
  *information = 0;
  ControlDeviceSlot& slot = CurrentSlot();
  MiniportContext* context = slot.Context;
  if (g_devices.Closing || slot.Device == nullptr || context == nullptr || context->Removed) return FALSE;
  const IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
  const ULONG inputLength = stack->Parameters.DeviceIoControl.InputBufferLength;
  const ULONG outputLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
  auto* buffer = static_cast<UCHAR*>(irp->AssociatedIrp.SystemBuffer);
  switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_HLVN_QUERY_OID:
      return QueryThroughDevice(context, buffer, inputLength, outputLength, information);
    case IOCTL_HLVN_PING:
      return TRUE;
    case IOCTL_HLVN_SET_OID:
      return SetThroughDevice(context, buffer, inputLength, information);
    case IOCTL_HLVN_REGISTER_EVENT:
      if (!ReferenceEvent(irp, inputLength, &slot.Event)) return FALSE;
      slot.Ring.Enabled = 1;
      DiscardUtilityEvents(&slot.Ring);
      KeClearEvent(slot.Event);
      return TRUE;
    case IOCTL_HLVN_REGISTER_REMOVE_EVENT:
      if (!ReferenceEvent(irp, inputLength, &slot.RemoveEvent)) return FALSE;
      slot.Ring.RemoveEventRegistered = 1;
      KeClearEvent(slot.RemoveEvent);
      return TRUE;
    default:
      return FALSE;
  }
}

NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

NTSTATUS Create(PIRP irp) {
  MiniportContext* context = CurrentSlot().Context;
  if (context == nullptr || g_devices.Closing) return Complete(irp, STATUS_UNSUCCESSFUL, 0);
  ++g_devices.Opens;
  context->UtilityAttached = 1;
  return Complete(irp, STATUS_SUCCESS, 0);
}

NTSTATUS Close(PIRP irp) {
  MiniportContext* context = CurrentSlot().Context;
  if (g_devices.Opens > 0 && context != nullptr && !g_devices.Closing) {
    // The utility stays attached while another of its handles is open.
    if (--g_devices.Opens == 0) context->UtilityAttached = 0;
  } else {
    g_devices.Opens = 0;
  }
  return Complete(irp, STATUS_SUCCESS, 0);
}

std::u16string Name(const char16_t* prefix, ULONG index) {
  return std::u16string(prefix) + static_cast<char16_t>(u'0' + index);
}

}  // namespace

const ControlDeviceTable& ControlDevices() { return g_devices; }

void ClearControlDevices() {
  for (ControlDeviceSlot& slot : g_devices.Slots) NdisZeroMemory(&slot, sizeof slot);
  g_devices.Registered = 0;
  g_devices.Current = 0;
  g_devices.Opens = 0;
  g_devices.Closing = 0;
}

void RegisterControlDevice(MiniportContext* context) {
  g_devices.Closing = 0;
  if (context->DeviceRegistered) return;
  ULONG index = 0;
  while (index < kControlDeviceSlots && g_devices.Slots[index].DeviceHandle != nullptr) ++index;
  if (index == kControlDeviceSlots) return;  // a fifth adapter gets no device
  ControlDeviceSlot& slot = g_devices.Slots[index];
  NdisZeroMemory(&slot, sizeof slot);
  if (!CreateUtilityEventRing(&slot.Ring)) return;

  const std::u16string deviceName = Name(u"\\Device\\Hlvn8xxx", index);
  const std::u16string linkName = Name(u"\\DosDevices\\HlvnDev", index);
  NDIS_STRING device;
  NDIS_STRING link;
  NdisInitUnicodeString(&device, deviceName.c_str());
  NdisInitUnicodeString(&link, linkName.c_str());
  PDRIVER_DISPATCH dispatch[IRP_MJ_MAXIMUM_FUNCTION + 1] = {};
  dispatch[IRP_MJ_CREATE] = &ControlDeviceDispatch;
  dispatch[IRP_MJ_CLOSE] = &ControlDeviceDispatch;
  dispatch[IRP_MJ_DEVICE_CONTROL] = &ControlDeviceDispatch;
  PDEVICE_OBJECT object = nullptr;
  NDIS_HANDLE handle = nullptr;
  const NDIS_STATUS status =
      NdisMRegisterDevice(context->WrapperHandle, &device, &link, dispatch, &object, &handle);
  if (status != NDIS_STATUS_SUCCESS || object == nullptr) {
    FreeUtilityEventRing(&slot.Ring);
    return;  // the adapter runs without a device
  }
  object->Flags |= DO_BUFFERED_IO;
  slot.Device = object;
  slot.DeviceHandle = handle;
  slot.Context = context;
  ++g_devices.Registered;
  g_devices.Current = index;
  context->DeviceIndex = index;
  context->DeviceRegistered = 1;
}

void DeregisterControlDevice(MiniportContext* context) {
  g_devices.Closing = 1;
  if (context == nullptr || !context->DeviceRegistered) return;
  // This adapter's own slot: with several adapters the newest one need not be ours.
  ControlDeviceSlot& slot = g_devices.Slots[context->DeviceIndex];
  ReleaseEvent(&slot.Event);
  ReleaseEvent(&slot.RemoveEvent);
  NdisMDeregisterDevice(slot.DeviceHandle);
  FreeUtilityEventRing(&slot.Ring);
  NdisZeroMemory(&slot, sizeof slot);
  --g_devices.Registered;
  context->DeviceRegistered = 0;
}

void WaitForUtilityClose(MiniportContext* context) {
  ControlDeviceSlot& slot = CurrentSlot();
  if (context == nullptr && slot.Context == nullptr) return;
  if (slot.Device != nullptr && slot.RemoveEvent != nullptr) KeSetEvent(slot.RemoveEvent, kEventIncrement, FALSE);
  PostUtilityEvent(HLVN_EVENT_ADAPTER_REMOVED, nullptr, 0);
  if (IsOlderSystem()) return;
  const LONG atStart = g_devices.Opens;
  for (int i = 0; atStart > 0 && g_devices.Opens >= atStart && i < kCloseWaitSleeps; ++i) {
    NdisMSleep(kCloseWaitMicroseconds);
  }
}

void PostUtilityEvent(ULONG code, const void* payload, ULONG length) {
  ControlDeviceSlot& slot = CurrentSlot();
  if (slot.Device == nullptr || slot.Context == nullptr || !slot.Context->UtilityAttached || !slot.Ring.Enabled) {
    return;
  }
  if (!WriteUtilityEvent(&slot.Ring, code, payload, length)) return;
  if (slot.Event != nullptr) KeSetEvent(slot.Event, kEventIncrement, FALSE);
}

NDIS_STATUS ReadUtilityEvents(PVOID output, ULONG length, PULONG written, PULONG needed) {
  return ReadUtilityEventRing(&CurrentSlot().Ring, output, length, written, needed);
}

NTSTATUS ControlDeviceDispatch(PDEVICE_OBJECT, PIRP irp) {
  switch (IoGetCurrentIrpStackLocation(irp)->MajorFunction) {
    case IRP_MJ_CREATE:
      return Create(irp);
    case IRP_MJ_CLOSE:
      return Close(irp);
    case IRP_MJ_DEVICE_CONTROL: {
      ULONG information = 0;
      if (!ControlDeviceIoctl(irp, &information)) return Complete(irp, STATUS_UNSUCCESSFUL, 0);
      return Complete(irp, STATUS_SUCCESS, information);
    }
    default:
      return Complete(irp, STATUS_SUCCESS, 0);
  }
}
