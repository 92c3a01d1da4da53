#pragma once
// Test kit: a control device that treats event registrations as the driver does. It holds
// one event per registration code, referencing the new one and releasing the one held
// before; a signal code sets what it holds; an echo code answers its input within the output
// capacity; every other code completes with nothing. The test miniport registers it in its
// initialize handler and calls Release() in its halt handler. Header only; one at a time.
#include <algorithm>
#include <array>

#include "platform/ndis/test_miniport.h"

namespace ndis::testing {

struct EventHoldingDevice {
  static constexpr ULONG kRegisterEvent = 0x00122480;
  static constexpr ULONG kRegisterRemoveEvent = 0x00122500;
  static constexpr ULONG kSignal = 0x00122404;
  static constexpr ULONG kEcho = 0x00122408;
  static constexpr ULONG kPing = 0x001224C0;

  static std::array<PKEVENT, 2>& held() {
    static std::array<PKEVENT, 2> events{};
    return events;
  }
  static std::size_t heldCount() {
    return static_cast<std::size_t>(std::count_if(held().begin(), held().end(), [](PKEVENT e) { return e != nullptr; }));
  }

  static NDIS_STATUS Register(const TestMiniport& m, NDIS_HANDLE* device) {
    return RegisterTestDevice(m, u"\\Device\\Events0", u"\\DosDevices\\EventsDev0", &Dispatch, device);
  }
  static constexpr const char* kSocketName = "EventsDev0";

  // Lets go of what the device holds (its halt).
  static void Release() {
    for (PKEVENT& event : held()) {
      if (event != nullptr) ObDereferenceObject(event);
      event = nullptr;
    }
  }

  static NTSTATUS Dispatch(PDEVICE_OBJECT, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    irp->IoStatus.Status = STATUS_SUCCESS;
    irp->IoStatus.Information = 0;
    if (stack->MajorFunction == IRP_MJ_DEVICE_CONTROL) control(irp, stack->Parameters.DeviceIoControl);
    const NTSTATUS status = irp->IoStatus.Status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
  }

private:
  template <class Parameters>
  static void control(PIRP irp, const Parameters& parameters) {
    auto* buffer = static_cast<UCHAR*>(irp->AssociatedIrp.SystemBuffer);
    const ULONG code = parameters.IoControlCode;
    if (code == kRegisterEvent || code == kRegisterRemoveEvent) {
      if (buffer == nullptr || parameters.InputBufferLength < 4) {
        irp->IoStatus.Status = STATUS_UNSUCCESSFUL;
        return;
      }
      PKEVENT event = nullptr;
      irp->IoStatus.Status = ReferenceEventByFirstWord(buffer, &event);
      PKEVENT& slot = held()[code == kRegisterRemoveEvent ? 1 : 0];
      if (event != nullptr) {
        if (slot != nullptr) ObDereferenceObject(slot);
        slot = event;
      }
    } else if (code == kSignal) {
      for (PKEVENT event : held()) {
        if (event != nullptr) KeSetEvent(event, 0, FALSE);
      }
    } else if (code == kEcho && buffer != nullptr) {
      irp->IoStatus.Information = std::min(parameters.InputBufferLength, parameters.OutputBufferLength);
    }
  }
};

}  // namespace ndis::testing
