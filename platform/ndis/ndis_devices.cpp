// The control device: registration through NDIS, completion of its requests, and the
// event objects user mode hands over by handle.
#include <unistd.h>

#include <cstdint>

#include "platform/ndis/adapter_runtime.h"

using ndis::AdapterRuntime;

namespace {

struct OBJECT_TYPE_RECORD {
  const char* name;
};
OBJECT_TYPE_RECORD g_eventType{"Event"};
POBJECT_TYPE g_eventTypePointer = reinterpret_cast<POBJECT_TYPE>(&g_eventType);

std::u16string Text(const NDIS_STRING* text) {
  if (text == nullptr || text->Buffer == nullptr) return {};
  return std::u16string(text->Buffer, text->Length / sizeof(WCHAR));
}

KEVENT* EventObject(PVOID object, const char* call) {
  auto* event = static_cast<KEVENT*>(object);
  if (event == nullptr || event->Signature != ndis::kEventMagic) {
    ndis::FatalFault(std::string(call) + ": not an event object");
  }
  return event;
}

}  // namespace

POBJECT_TYPE* ExEventObjectType = &g_eventTypePointer;

NDIS_STATUS NdisMRegisterDevice(NDIS_HANDLE NdisWrapperHandle, PNDIS_STRING DeviceName, PNDIS_STRING SymbolicName,
                                PDRIVER_DISPATCH MajorFunctions[], PDEVICE_OBJECT* pDeviceObject,
                                NDIS_HANDLE* NdisDeviceHandle) {
  AdapterRuntime& adapter = AdapterRuntime::fromWrapperHandle(NdisWrapperHandle, "NdisMRegisterDevice");
  adapter.requirePassive("NdisMRegisterDevice");
  *pDeviceObject = nullptr;
  *NdisDeviceHandle = nullptr;
  AdapterRuntime::Device* device = adapter.registerDevice(Text(DeviceName), Text(SymbolicName), MajorFunctions);
  if (device == nullptr) return NDIS_STATUS_FAILURE;
  *pDeviceObject = &device->object;
  *NdisDeviceHandle = device;
  return NDIS_STATUS_SUCCESS;
}

NDIS_STATUS NdisMDeregisterDevice(NDIS_HANDLE NdisDeviceHandle) {
  AdapterRuntime& adapter = ndis::RequireAdapter("NdisMDeregisterDevice");
  adapter.requirePassive("NdisMDeregisterDevice");
  if (adapter.deregisterDevice(NdisDeviceHandle)) return NDIS_STATUS_SUCCESS;
  adapter.violation("NdisMDeregisterDevice of a device that is not registered");
  return NDIS_STATUS_FAILURE;
}

void IoCompleteRequest(PIRP Irp, CCHAR) {
  if (Irp->Completed) {
    ndis::RequireAdapter("IoCompleteRequest").violation("IoCompleteRequest on a request already completed");
    return;
  }
  Irp->Completed = TRUE;
}

LONG KeSetEvent(PRKEVENT Event, KPRIORITY, BOOLEAN) {
  KEVENT* event = EventObject(Event, "KeSetEvent");
  const LONG previous = event->SignalState;
  event->SignalState = 1;
  ++event->SetCount;
  if (event->NotifyFd >= 0) {
    const std::uint64_t one = 1;
    // A full counter (never in practice) already wakes the reader: nothing to do on failure.
    [[maybe_unused]] const ssize_t written = write(event->NotifyFd, &one, sizeof one);
  }
  return previous;
}

void KeClearEvent(PRKEVENT Event) {
  KEVENT* event = EventObject(Event, "KeClearEvent");
  event->SignalState = 0;
  if (event->NotifyFd >= 0) {
    std::uint64_t count = 0;
    // The server made the descriptor non-blocking: an unsignalled eventfd answers EAGAIN.
    [[maybe_unused]] const ssize_t read = ::read(event->NotifyFd, &count, sizeof count);
  }
}

NTSTATUS ObReferenceObjectByHandle(HANDLE Handle, ACCESS_MASK, POBJECT_TYPE ObjectType, KPROCESSOR_MODE,
                                   PVOID* Object, OBJECT_HANDLE_INFORMATION*) {
  AdapterRuntime& adapter = ndis::RequireAdapter("ObReferenceObjectByHandle");
  adapter.requirePassive("ObReferenceObjectByHandle");
  *Object = nullptr;
  KEVENT* event = adapter.eventOf(Handle);
  if (event == nullptr) return STATUS_INVALID_HANDLE;
  if (ObjectType != *ExEventObjectType) return STATUS_OBJECT_TYPE_MISMATCH;
  ++event->References;
  *Object = event;
  return STATUS_SUCCESS;
}

void ObDereferenceObject(PVOID Object) {
  KEVENT* event = EventObject(Object, "ObDereferenceObject");
  if (event->References == 0) {
    ndis::RequireAdapter("ObDereferenceObject").violation("ObDereferenceObject without a reference");
    return;
  }
  ndis::RequireAdapter("ObDereferenceObject").releaseEventReference(event);
}
