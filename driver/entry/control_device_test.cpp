// The driver's control device reached the way user mode reaches it (open, buffered I/O
// controls, event objects by handle), over the whole driver in virtual time.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "driver/entry/testing/driver_harness.h"
#include "driver/entry/testing/ioctl_words.h"
#include "driver/ndis/control_device.h"
#include "driver/ndis/miniport_context.h"
#include "driver/ndis/private_oids.h"
#include "platform/ndis/ntddndis.h"

namespace zelnic {
namespace {

using testing::DriverHarness;
using Bytes = std::vector<std::uint8_t>;

using testing::Words;
using testing::WordAt;

struct ControlDeviceTest : ::testing::Test {
  void SetUp() override {
    ASSERT_EQ(h.start(), NDIS_STATUS_SUCCESS);
    auto opened = h.host->openDevice(u"HlvnDev0");
    ASSERT_TRUE(opened);
    device = *opened;
  }
  MiniportContext* context() { return static_cast<MiniportContext*>(h.host->miniportContext()); }
  ndis::NdisHost::DeviceReply ioctl(ULONG code, const Bytes& in, std::size_t out) {
    return h.host->deviceIoControl(device, code, in, out);
  }
  HANDLE registerEvent(ULONG code) {
    HANDLE event = h.host->createEvent();
    const auto handle = static_cast<std::uint32_t>(reinterpret_cast<ULONG_PTR>(event));
    EXPECT_EQ(ioctl(code, Words({handle}), 0).status, STATUS_SUCCESS);
    return event;
  }
  void post(ULONG code, const Bytes& payload = {}) {
    h.run([&] { PostUtilityEvent(code, payload.empty() ? nullptr : payload.data(), static_cast<ULONG>(payload.size())); });
  }
  // The codes of the records a read of the ring returns, oldest first.
  std::vector<std::uint32_t> readCodes() {
    auto reply = ioctl(IOCTL_HLVN_QUERY_OID, Words({OID_HLVN_EVENT_RING}), 4 + kUtilityEventReadSize);
    EXPECT_EQ(reply.status, STATUS_SUCCESS);
    EXPECT_EQ(WordAt(reply.output, 0), static_cast<std::uint32_t>(NDIS_STATUS_SUCCESS));
    std::vector<std::uint32_t> codes;
    for (std::uint32_t i = 0; i < WordAt(reply.output, 4); ++i) {
      const std::size_t record = 8 + i * kUtilityEventRecordSize;
      EXPECT_EQ(WordAt(reply.output, record), kUtilityEventRecordSize);
      codes.push_back(WordAt(reply.output, record + 4));
    }
    return codes;
  }

  DriverHarness h;
  ndis::NdisHost::DeviceHandle device = 0;
};

TEST_F(ControlDeviceTest, TheDeviceIsSlotZeroAndOpeningItAttachesTheUtility) {
  EXPECT_EQ(ControlDevices().Registered, 1u);
  EXPECT_EQ(ControlDevices().Slots[0].Context, context());
  EXPECT_NE(ControlDevices().Slots[0].Device->Flags & DO_BUFFERED_IO, 0u);
  EXPECT_EQ(context()->UtilityAttached, 1);
  EXPECT_EQ(ioctl(IOCTL_HLVN_PING, {}, 0).status, STATUS_SUCCESS);
  EXPECT_EQ(ioctl(0x00122540, Words({1, 2}), 8).status, STATUS_UNSUCCESSFUL);  // not one of the five
}

TEST_F(ControlDeviceTest, AQueryRefusedBelowCompletesWithTheRefusalInTheFirstWord) {
  auto reply = ioctl(IOCTL_HLVN_QUERY_OID, Words({0x12345678}), 64);
  EXPECT_EQ(reply.status, STATUS_SUCCESS);
  ASSERT_EQ(reply.output.size(), 4u);
  EXPECT_EQ(WordAt(reply.output, 0), static_cast<std::uint32_t>(NDIS_STATUS_NOT_SUPPORTED));
}

TEST_F(ControlDeviceTest, RequestsWithoutRoomForTheirWordsAreRefused) {
  struct Case {
    ULONG code;
    Bytes in;
    std::size_t out;
  };
  const Case cases[] = {
      {IOCTL_HLVN_QUERY_OID, Words({OID_HLVN_EVENT_RING}), 7},  // output below 8
      {IOCTL_HLVN_QUERY_OID, {}, 64},                          // no OID
      {IOCTL_HLVN_SET_OID, Words({OID_GEN_CURRENT_LOOKAHEAD}), 4},  // input below 8
      {IOCTL_HLVN_REGISTER_EVENT, {1, 2}, 0},                  // no handle word
      {IOCTL_HLVN_REGISTER_EVENT, Words({0x7777}), 0},         // no such event
      {IOCTL_HLVN_REGISTER_REMOVE_EVENT, Words({0x7777}), 0},
  };
  for (const Case& c : cases) {
    auto reply = ioctl(c.code, c.in, c.out);
    EXPECT_EQ(reply.status, STATUS_UNSUCCESSFUL) << std::hex << c.code;
    EXPECT_TRUE(reply.output.empty());
  }
  EXPECT_EQ(h.host->leaks().eventReferences, 0u);
}

TEST_F(ControlDeviceTest, EventsBeforeRegistrationAreDroppedAfterItTheyAreReadOldestFirst) {
  post(HLVN_EVENT_SCAN_COMPLETE);
  HANDLE event = registerEvent(IOCTL_HLVN_REGISTER_EVENT);
  EXPECT_EQ(h.host->event(event)->SetCount, 0u);
  post(HLVN_EVENT_ASSOCIATED);
  post(HLVN_EVENT_RAW_FRAME_SENT, {0x34, 0x12});
  EXPECT_EQ(h.host->event(event)->SetCount, 2u);
  EXPECT_EQ(h.host->event(event)->SignalState, 1);

  auto reply = ioctl(IOCTL_HLVN_QUERY_OID, Words({OID_HLVN_EVENT_RING}), 4 + kUtilityEventReadSize);
  ASSERT_EQ(reply.output.size(), 4 + kUtilityEventReadSize);  // the whole buffer answers
  EXPECT_EQ(WordAt(reply.output, 4), 2u);
  EXPECT_EQ(WordAt(reply.output, 8 + 4), HLVN_EVENT_ASSOCIATED);
  const std::size_t second = 8 + kUtilityEventRecordSize;
  EXPECT_EQ(WordAt(reply.output, second + 4), HLVN_EVENT_RAW_FRAME_SENT);
  EXPECT_EQ(WordAt(reply.output, second + 8), 2u);
  EXPECT_EQ(reply.output[second + 12], 0x34);
  EXPECT_TRUE(readCodes().empty());  // read records are consumed
}

TEST_F(ControlDeviceTest, ARingReadBufferBelowTenRecordsIsRefusedWithTheNeed) {
  auto reply = ioctl(IOCTL_HLVN_QUERY_OID, Words({OID_HLVN_EVENT_RING}), 4 + kUtilityEventReadSize - 1);
  EXPECT_EQ(reply.status, STATUS_SUCCESS);
  EXPECT_EQ(WordAt(reply.output, 0), static_cast<std::uint32_t>(NDIS_STATUS_BUFFER_TOO_SHORT));
}

TEST_F(ControlDeviceTest, ElevenUnreadEventsLeaveTheTenNewestAndTwentyFiveLeaveTheLastTen) {
  registerEvent(IOCTL_HLVN_REGISTER_EVENT);
  for (std::uint32_t code = 100; code < 111; ++code) post(code);
  std::vector<std::uint32_t> expected;
  for (std::uint32_t code = 101; code < 111; ++code) expected.push_back(code);
  EXPECT_EQ(readCodes(), expected);

  for (std::uint32_t code = 200; code < 225; ++code) post(code);
  expected.clear();
  for (std::uint32_t code = 215; code < 225; ++code) expected.push_back(code);
  EXPECT_EQ(readCodes(), expected);
  post(7);
  EXPECT_EQ(readCodes(), std::vector<std::uint32_t>{7});
}

TEST_F(ControlDeviceTest, APayloadOverSixteenHundredBytesIsDroppedNotCut) {
  HANDLE event = registerEvent(IOCTL_HLVN_REGISTER_EVENT);
  post(HLVN_EVENT_EAPOL_RECEIVED, Bytes(1601, 0xAA));
  post(HLVN_EVENT_EAPOL_RECEIVED, Bytes(1600, 0xBB));
  EXPECT_EQ(h.host->event(event)->SetCount, 1u);
  EXPECT_EQ(ControlDevices().Slots[0].Ring.DroppedOversize, 1u);
  EXPECT_EQ(readCodes(), std::vector<std::uint32_t>{HLVN_EVENT_EAPOL_RECEIVED});
}

TEST_F(ControlDeviceTest, RegisteringAgainDiscardsUnreadRecordsAndReleasesTheFormerEvent) {
  HANDLE first = registerEvent(IOCTL_HLVN_REGISTER_EVENT);
  post(HLVN_EVENT_SCAN_COMPLETE);
  HANDLE second = registerEvent(IOCTL_HLVN_REGISTER_EVENT);
  EXPECT_EQ(h.host->event(first)->References, 0u);
  EXPECT_EQ(h.host->event(second)->References, 1u);
  EXPECT_EQ(h.host->event(second)->SignalState, 0);
  EXPECT_TRUE(readCodes().empty());
}

TEST_F(ControlDeviceTest, TheUtilityStaysAttachedUntilItsLastHandleCloses) {
  auto other = h.host->openDevice(u"HlvnDev0");
  ASSERT_TRUE(other);
  EXPECT_EQ(ControlDevices().Opens, 2);
  EXPECT_EQ(h.host->closeDevice(*other), STATUS_SUCCESS);
  EXPECT_EQ(context()->UtilityAttached, 1);
  EXPECT_EQ(h.host->closeDevice(device), STATUS_SUCCESS);
  EXPECT_EQ(context()->UtilityAttached, 0);
  EXPECT_EQ(ControlDevices().Opens, 0);
}

TEST_F(ControlDeviceTest, TheBssidListComesFromTheShadowTableIn152ByteRecords) {
  auto query = [&] { return ioctl(IOCTL_HLVN_QUERY_OID, Words({OID_802_11_BSSID_LIST}), 4 + 4 + 2 * 152); };
  EXPECT_EQ(WordAt(query().output, 4), 0u);  // nothing heard yet
  std::uint8_t* shadow = h.core()->ShadowBssTable;
  const std::uint32_t count = 1;
  std::memcpy(shadow, &count, 4);
  std::uint8_t* entry = shadow + 4;
  const std::uint32_t length = 104, kilohertz = 2'437'000;
  std::memcpy(entry, &length, 4);
  entry[4] = 0x02;  // the BSSID's first byte
  std::memcpy(entry + 72, &kilohertz, 4);
  const auto reply = query();
  EXPECT_EQ(WordAt(reply.output, 0), 0u);
  ASSERT_EQ(reply.output.size(), 8u + 152);
  EXPECT_EQ(WordAt(reply.output, 4), 1u);
  EXPECT_EQ(WordAt(reply.output, 8), 152u);
  EXPECT_EQ(reply.output[12], 0x02);
  EXPECT_EQ(WordAt(reply.output, 8 + 116), 6u);  // channel 6
  EXPECT_EQ(context()->BssCopyBusy, 0);
}

TEST_F(ControlDeviceTest, HaltSignalsTheRemoveEventPostsRemovalAndLeavesNothing) {
  HANDLE event = registerEvent(IOCTL_HLVN_REGISTER_EVENT);
  HANDLE removal = registerEvent(IOCTL_HLVN_REGISTER_REMOVE_EVENT);
  const ndis::Micros before = h.scheduler.now();
  h.halt();  // nobody closes: the wait gives up after 199 sleeps
  EXPECT_GE(h.scheduler.now() - before, std::chrono::milliseconds(199 * 500));
  EXPECT_EQ(h.host->event(removal)->SetCount, 1u);
  EXPECT_GE(h.host->event(event)->SetCount, 1u);  // HLVN_EVENT_ADAPTER_REMOVED among others
  EXPECT_EQ(ControlDevices().Registered, 0u);
  EXPECT_TRUE(h.leakFree()) << h.leaks();
  EXPECT_EQ(h.host->deviceIoControl(device, IOCTL_HLVN_PING, {}, 0).status, STATUS_UNSUCCESSFUL);
}

}  // namespace
}  // namespace zelnic
