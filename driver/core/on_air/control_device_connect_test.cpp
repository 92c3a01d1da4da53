// An SSID set through the control device (the adapter-control utility) starts the same
// connection, but is answered at once: the media connect that follows completes no NDIS set.
#include <gtest/gtest.h>

#include <cstring>

#include "driver/core/on_air/air_station.h"
#include "driver/entry/testing/ioctl_words.h"
#include "driver/ndis/control_device.h"

namespace zelnic::core::testing {
namespace {

using namespace std::chrono_literals;

class ControlDeviceConnect : public AirStation {};

TEST_F(ControlDeviceConnect, TheUtilitysSsidSetIsAnsweredAtOnceAndTheConnectCompletesNothing) {
  StartWorld("ap open\n bssid 02:5a:4c:00:00:01\n ssid \"Zelnet Open\"\n channel 6\n");
  auto device = h.host->openDevice(u"HlvnDev0");
  ASSERT_TRUE(device);
  const std::string ssid = "Zelnet Open";
  std::vector<std::uint8_t> in(4 + 4 + ssid.size());
  const ULONG oid = OID_802_11_SSID;
  const auto length = static_cast<ULONG>(ssid.size());
  std::memcpy(in.data(), &oid, 4);
  std::memcpy(in.data() + 4, &length, 4);
  std::memcpy(in.data() + 8, ssid.data(), ssid.size());
  const auto reply = h.host->deviceIoControl(*device, IOCTL_HLVN_SET_OID, in, 4);
  ASSERT_EQ(reply.status, STATUS_SUCCESS);
  ASSERT_GE(reply.output.size(), 4u);
  ULONG answered = 1;
  std::memcpy(&answered, reply.output.data(), 4);
  EXPECT_EQ(answered, static_cast<ULONG>(NDIS_STATUS_SUCCESS));
  Advance(3s);
  EXPECT_EQ(core->MlmeState, kMlmeAssociated);
  EXPECT_EQ(MediaEvents(), "C");
  EXPECT_FALSE(core->Station.SetPended);
  h.host->closeDevice(*device);
  // TearDown: no completion without a pended set.
}

}  // namespace
}  // namespace zelnic::core::testing
