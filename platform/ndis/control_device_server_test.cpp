// The control device served on a socket, in one process: a set that carries a key record
// (OID_802_11_ADD_KEY through IOCTL_HLVN_SET_OID) reaches the driver whole and leaves no copy
// of the key in memory the server or the host frees: the request's message and input, the
// IRP's system buffer, whether the request came through the socket or the host's own call.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>

#include "platform/ndis/control_client.h"
#include "platform/ndis/control_device_server.h"
#include "platform/ndis/test_miniport.h"
#include "platform/ndis/testing/freed_memory_watch.h"
#include "platform/ndis/wiped_bytes.h"

namespace ndis {
namespace {

using testing::FreedMemoryWatch;
using testing::TestAdapter;

constexpr ULONG kSetOid = 0x00122440;  // the driver's IOCTL_HLVN_SET_OID
constexpr std::array<std::uint8_t, 32> kKey = {0x3c, 0x91, 0x5e, 0xa7, 0x02, 0xd8, 0x6b, 0xf4, 0x19, 0x80, 0xc6,
                                               0x2d, 0x75, 0xee, 0x4a, 0xb3, 0x07, 0x68, 0xd1, 0x9f, 0x24, 0x5c,
                                               0xe3, 0x8a, 0x31, 0x76, 0xcf, 0x0b, 0x92, 0x4d, 0xa8, 0x1e};
int g_keysSeen = 0;

// The driver's side of a set: it finds the key in the system buffer and answers NDIS success.
NTSTATUS Dispatch(PDEVICE_OBJECT, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  irp->IoStatus.Status = STATUS_SUCCESS;
  irp->IoStatus.Information = 0;
  if (stack->MajorFunction == IRP_MJ_DEVICE_CONTROL) {
    auto* bytes = static_cast<UCHAR*>(irp->AssociatedIrp.SystemBuffer);
    const ULONG in = stack->Parameters.DeviceIoControl.InputBufferLength;
    if (std::search(bytes, bytes + in, kKey.begin(), kKey.end()) != bytes + in) ++g_keysSeen;
    std::memset(bytes, 0, 4);
    irp->IoStatus.Information = 4;
  }
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return STATUS_SUCCESS;
}

TEST(ControlDeviceServer, AKeyRecordLeavesNoCopyInFreedMemory) {
  TestAdapter a;
  NDIS_HANDLE device = nullptr;
  a.miniport.initialize = [&] {
    return testing::RegisterTestDevice(a.miniport, u"\\Device\\Key0", u"\\DosDevices\\KeyDev0", &Dispatch, &device);
  };
  a.miniport.halt = [&] { NdisMDeregisterDevice(device); };
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  char pattern[] = "/tmp/zelnic-server-XXXXXX";
  const std::string directory = mkdtemp(pattern);
  std::string error;
  auto server = ControlDeviceServer::start(*a.host, a.scheduler, {directory, std::nullopt}, &error);
  ASSERT_TRUE(server) << error;
  auto client = ControlDeviceClient::open(directory + "/KeyDev0");
  ASSERT_TRUE(client);
  a.scheduler.settle();  // the open
  auto handle = a.host->openDevice(u"KeyDev0");
  ASSERT_TRUE(handle);
  g_keysSeen = 0;

  {
    FreedMemoryWatch watch(kKey);
    // The set's input: the OID, then an NDIS_802_11_KEY-like record ending in the key.
    std::array<std::uint8_t, 4 + 32 + kKey.size()> input{0x1d, 0x01, 0x01, 0x0d};
    std::copy(kKey.begin(), kKey.end(), input.end() - kKey.size());
    ControlRequest request{7, kSetOid, 4, std::vector<std::uint8_t>(input.begin(), input.end())};
    std::vector<std::uint8_t> message = EncodeControlRequest(request);
    ASSERT_TRUE(client->sendRaw(message));
    a.scheduler.settle();
    const std::optional<ControlReply> reply = client->receiveReply(std::chrono::seconds(5));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, static_cast<std::uint32_t>(STATUS_SUCCESS));
    EXPECT_EQ(reply->output, std::vector<std::uint8_t>(4, 0));

    EXPECT_EQ(a.host->deviceIoControl(*handle, kSetOid, input, 4).status, STATUS_SUCCESS);
    EXPECT_EQ(g_keysSeen, 2);

    WipeBytes(request.input);  // the test's own copies
    WipeBytes(message);
    WipeBytes(input);
    EXPECT_EQ(a.host->closeDevice(*handle), STATUS_SUCCESS);
    client.reset();
    a.scheduler.settle();  // the close
    a.host->halt();
    server.reset();  // its message buffer goes
    EXPECT_EQ(watch.blocksHoldingPattern(), 0u);
  }
  EXPECT_TRUE(a.host->leaks().empty()) << a.host->leaks().describe();
  std::filesystem::remove_all(directory);
}

}  // namespace
}  // namespace ndis
