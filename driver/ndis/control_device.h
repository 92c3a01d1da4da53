#pragma once
// The control device: user mode's way into the driver beside NDIS. One device per adapter
// (at most four), named \Device\Hlvn8xxxN with the link \DosDevices\HlvnDevN; it carries
// OID queries and sets as buffered I/O controls and signals the utility's event whenever a
// record is written into the event ring.
#include "driver/ndis/control_codes.h"
#include "driver/ndis/miniport_context.h"
#include "driver/ndis/utility_events.h"
#include "platform/ndis/ndis.h"

constexpr ULONG kControlDeviceSlots = 4;
// One slot of the device table. The event ring is kept with the slot: the poster and the
// handlers serve the slot registered last, whatever adapter posts.
struct ControlDeviceSlot {
  PDEVICE_OBJECT Device;
  NDIS_HANDLE DeviceHandle;
  ULONG Reserved0;
  PKEVENT Event;
  PKEVENT RemoveEvent;
  ULONG Reserved1;
  ULONG Reserved2;
  MiniportContext* Context;
  UtilityEventRing Ring;
};

struct ControlDeviceTable {
  ControlDeviceSlot Slots[kControlDeviceSlots];
  ULONG Registered;   // adapters with a device
  ULONG Current;      // the slot registered last
  LONG Opens;         // one open count for all slots
  UCHAR Closing;      // set while a device is deregistered: create and I/O controls fail
};

// The driver-global table (read by tests).
const ControlDeviceTable& ControlDevices();

// The shell's links.
void ClearControlDevices();
void RegisterControlDevice(MiniportContext* context);
void DeregisterControlDevice(MiniportContext* context);
// Tells the utility the adapter goes away (remove event, HLVN_EVENT_ADAPTER_REMOVED) and
// waits up to 199 x 500 ms for it to close the device.
void WaitForUtilityClose(MiniportContext* context);
void PostUtilityEvent(ULONG code, const void* payload, ULONG length);
// The query of OID_HLVN_EVENT_RING.
NDIS_STATUS ReadUtilityEvents(PVOID output, ULONG length, PULONG written, PULONG needed);

// The device's handler for create, close and device control.
NTSTATUS ControlDeviceDispatch(PDEVICE_OBJECT device, PIRP irp);
