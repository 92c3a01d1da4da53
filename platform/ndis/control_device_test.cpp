// A control device registered through NDIS, reached the way user mode reaches it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/ndis/test_miniport.h"

namespace ndis {
namespace {

using testing::TestAdapter;

PKEVENT g_event = nullptr;

// Echoes its input reversed; code 2 references the event whose handle is the input.
NTSTATUS Dispatch(PDEVICE_OBJECT, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  irp->IoStatus.Status = STATUS_SUCCESS;
  irp->IoStatus.Information = 0;
  if (stack->MajorFunction == IRP_MJ_DEVICE_CONTROL) {
    auto* bytes = static_cast<UCHAR*>(irp->AssociatedIrp.SystemBuffer);
    const ULONG in = stack->Parameters.DeviceIoControl.InputBufferLength;
    if (stack->Parameters.DeviceIoControl.IoControlCode == CTL_CODE(0x12, 1, METHOD_BUFFERED, FILE_ANY_ACCESS)) {
      std::reverse(bytes, bytes + in);
      irp->IoStatus.Information = in;
    } else {
      irp->IoStatus.Status = testing::ReferenceEventByFirstWord(bytes, &g_event);
    }
  }
  const NTSTATUS status = irp->IoStatus.Status;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

TEST(ControlDevice, UserModeOpensItSendsRequestsAndHandsOverAnEvent) {
  TestAdapter a;
  NDIS_HANDLE device = nullptr;
  a.miniport.initialize = [&] {
    return testing::RegisterTestDevice(a.miniport, u"\\Device\\Test0", u"\\DosDevices\\TestDev0", &Dispatch, &device);
  };
  a.miniport.halt = [&] {
    if (g_event != nullptr) ObDereferenceObject(g_event);
    NdisMDeregisterDevice(device);
  };
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);

  EXPECT_FALSE(a.host->openDevice(u"NoSuchDevice"));
  auto handle = a.host->openDevice(u"TestDev0");
  ASSERT_TRUE(handle);
  const std::vector<std::uint8_t> in{1, 2, 3};
  auto reply = a.host->deviceIoControl(*handle, CTL_CODE(0x12, 1, METHOD_BUFFERED, FILE_ANY_ACCESS), in, 8);
  EXPECT_EQ(reply.status, STATUS_SUCCESS);
  EXPECT_EQ(reply.output, (std::vector<std::uint8_t>{3, 2, 1}));

  HANDLE event = a.host->createEvent();
  ULONG value = static_cast<ULONG>(reinterpret_cast<ULONG_PTR>(event));
  std::vector<std::uint8_t> registration(4);
  std::memcpy(registration.data(), &value, 4);
  reply = a.host->deviceIoControl(*handle, CTL_CODE(0x12, 2, METHOD_BUFFERED, FILE_ANY_ACCESS), registration, 0);
  EXPECT_EQ(reply.status, STATUS_SUCCESS);
  ASSERT_NE(g_event, nullptr);
  a.run(DISPATCH_LEVEL, [] { KeSetEvent(g_event, 2, FALSE); });
  EXPECT_EQ(a.host->event(event)->SetCount, 1u);
  EXPECT_EQ(a.host->leaks().eventReferences, 1u);

  value = 0x7777;  // no such handle
  std::memcpy(registration.data(), &value, 4);
  reply = a.host->deviceIoControl(*handle, CTL_CODE(0x12, 2, METHOD_BUFFERED, FILE_ANY_ACCESS), registration, 0);
  EXPECT_EQ(reply.status, STATUS_INVALID_HANDLE);
  g_event = a.host->runtime().eventOf(event);

  EXPECT_EQ(a.host->closeDevice(*handle), STATUS_SUCCESS);
  a.host->halt();
  EXPECT_TRUE(a.host->leaks().empty()) << a.host->leaks().describe();
  EXPECT_EQ(a.host->deviceIoControl(*handle, 0, in, 8).status, STATUS_UNSUCCESSFUL);  // device is gone
  g_event = nullptr;
}

}  // namespace
}  // namespace ndis
