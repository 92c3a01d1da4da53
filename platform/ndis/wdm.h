#pragma once
// The kernel services a miniport uses beside NDIS: the WDM version test, the driver and
// device objects, I/O requests of a control device, and event objects that user mode
// hands over by handle. Layouts are the runtime's own, by meaning.
#include "platform/ndis/ndis_types.h"

using HANDLE = void*;
using ACCESS_MASK = ULONG;
using KPRIORITY = LONG;
using KPROCESSOR_MODE = CCHAR;

constexpr KPROCESSOR_MODE KernelMode = 0;
constexpr KPROCESSOR_MODE UserMode = 1;
constexpr ACCESS_MASK EVENT_MODIFY_STATE = 0x0002;
constexpr CCHAR IO_NO_INCREMENT = 0;

struct DRIVER_OBJECT {
  USHORT Type;
  USHORT Size;
  PVOID DriverExtension;
};
using PDRIVER_OBJECT = DRIVER_OBJECT*;

constexpr ULONG DO_BUFFERED_IO = 0x00000004;
constexpr ULONG DO_DEVICE_INITIALIZING = 0x00000080;

struct DEVICE_OBJECT {
  USHORT Type;
  USHORT Size;
  ULONG Flags;
  PDRIVER_OBJECT DriverObject;
  PVOID DeviceExtension;
};
using PDEVICE_OBJECT = DEVICE_OBJECT*;

constexpr UCHAR IRP_MJ_CREATE = 0x00;
constexpr UCHAR IRP_MJ_CLOSE = 0x02;
constexpr UCHAR IRP_MJ_DEVICE_CONTROL = 0x0E;
constexpr UCHAR IRP_MJ_CLEANUP = 0x12;
constexpr UCHAR IRP_MJ_MAXIMUM_FUNCTION = 0x1B;

constexpr ULONG METHOD_BUFFERED = 0;
constexpr ULONG FILE_ANY_ACCESS = 0;
constexpr ULONG CTL_CODE(ULONG deviceType, ULONG function, ULONG method, ULONG access) {
  return (deviceType << 16) | (access << 14) | (function << 2) | method;
}

struct IO_STATUS_BLOCK {
  NTSTATUS Status;
  ULONG_PTR Information;
};

struct IO_STACK_LOCATION {
  UCHAR MajorFunction;
  UCHAR MinorFunction;
  union {
    struct {
      ULONG OutputBufferLength;
      ULONG InputBufferLength;
      ULONG IoControlCode;
      PVOID Type3InputBuffer;
    } DeviceIoControl;
  } Parameters;
  PDEVICE_OBJECT DeviceObject;
};
using PIO_STACK_LOCATION = IO_STACK_LOCATION*;

struct IRP {
  IO_STATUS_BLOCK IoStatus;
  union {
    PVOID SystemBuffer;  // buffered I/O: input on the way in, output on the way out
  } AssociatedIrp;
  KPROCESSOR_MODE RequestorMode;
  BOOLEAN Completed;  // set by IoCompleteRequest
  IO_STACK_LOCATION CurrentStackLocation;
};
using PIRP = IRP*;

using DRIVER_DISPATCH = NTSTATUS(PDEVICE_OBJECT DeviceObject, PIRP Irp);
using PDRIVER_DISPATCH = DRIVER_DISPATCH*;

inline PIO_STACK_LOCATION IoGetCurrentIrpStackLocation(PIRP irp) { return &irp->CurrentStackLocation; }
void IoCompleteRequest(PIRP Irp, CCHAR PriorityBoost);

// Event objects (user mode hands one over by handle; the driver signals it).
struct KEVENT {
  ULONG Signature;
  LONG SignalState;
  ULONG References;
  ULONG SetCount;  // how often KeSetEvent was called on it
  // An eventfd of a user-mode process that stands for this event (-1: none): KeSetEvent
  // adds to it, KeClearEvent drains it. Set by the control-device server.
  int NotifyFd;
};
using PKEVENT = KEVENT*;
using PRKEVENT = KEVENT*;
LONG KeSetEvent(PRKEVENT Event, KPRIORITY Increment, BOOLEAN Wait);
void KeClearEvent(PRKEVENT Event);

struct OBJECT_TYPE;
using POBJECT_TYPE = OBJECT_TYPE*;
extern POBJECT_TYPE* ExEventObjectType;
struct OBJECT_HANDLE_INFORMATION;
NTSTATUS ObReferenceObjectByHandle(HANDLE Handle, ACCESS_MASK DesiredAccess, POBJECT_TYPE ObjectType,
                                   KPROCESSOR_MODE AccessMode, PVOID* Object,
                                   OBJECT_HANDLE_INFORMATION* HandleInformation);
void ObDereferenceObject(PVOID Object);

// TRUE when the system offers at least this WDM version (the host configures it).
BOOLEAN IoIsWdmVersionAvailable(UCHAR MajorVersion, UCHAR MinorVersion);

KIRQL KeGetCurrentIrql();
