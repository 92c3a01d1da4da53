// The station core inside the whole driver over the simulated chip, in virtual time.
#include "driver/core/core_adapter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "driver/core/eapol_hold_off.h"
#include "driver/core/frame_tests.h"
#include "driver/core/leds.h"
#include "driver/core/link_monitor.h"
#include "driver/core/testing/core_fixture.h"
#include "driver/core/testing/test_frames.h"
#include "driver/entry/testing/driver_harness.h"
#include "driver/hal/firmware_commands.h"
#include "driver/hal/hal_adapter.h"

namespace zelnic::core {
namespace {

using zelnic::testing::DriverHarness;
using zelnic::testing::Parameters;
using std::chrono::milliseconds;

using testing::ChipLayerRecorder;
using testing::StartedDriver;

TEST(CoreInit, StateFollowsTheNetworkModeAndTheDefaults) {
  struct Case {
    const char* networkMode;
    std::uint16_t mlmeState;
  };
  for (const Case& c : {Case{"0", kMlmeIbssIdle}, Case{"1", kMlmeIdle}, Case{"2", kMlmeIdle}}) {
    SCOPED_TRACE(c.networkMode);
    DriverHarness h(Parameters{{"NetworkMode", c.networkMode}, {"AdhocGMode", "1"}});
    ASSERT_EQ(h.start(), NDIS_STATUS_SUCCESS);
    CoreAdapter* core = h.core();
    EXPECT_EQ(core->MlmeState, c.mlmeState);
    EXPECT_EQ(core->AdhocMode, 1u);
    EXPECT_EQ(core->WirelessMode, 255u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(core->CurrentSsid.bytes), core->CurrentSsid.length),
              "default");
    EXPECT_EQ(core->SupportedRates, kSupportedRates);
    EXPECT_TRUE(core->MediaDisconnected);
    EXPECT_EQ(core->Hal, h.hal());
    const auto* table = reinterpret_cast<void (*const*)()>(&CoreOps(core));
    EXPECT_EQ(table[14], reinterpret_cast<void (*)()>(&Destroy));  // the fifteenth entry
  }
}

TEST_F(StartedDriver, HaltCancelsEveryArmedTimerAndLeavesNothing) {
  h.run([&] {
    for (std::uint32_t id = 0; id < kCoreTimerCount; ++id)
      ArmTimer(core, static_cast<CoreTimerId>(id), [](OsTimerRecord*) {}, 60000, id % 2 == 0);
  });
  h.halt();
  EXPECT_TRUE(h.leakFree()) << h.leaks();
}

TEST_F(StartedDriver, ATimerCarriesTheCallbackOfItsLastArming) {
  static int first = 0, second = 0;
  first = second = 0;
  h.run([&] {
    ArmTimer(core, kTimerSpare1, [](OsTimerRecord*) { ++first; }, 10, false);
    ArmTimer(core, kTimerSpare1, [](OsTimerRecord*) { ++second; }, 20, true);
  });
  h.advance(milliseconds(65));
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 3);
  EXPECT_EQ(core->Timers[kTimerSpare1].Record.PeriodMs, 20u);
}

TEST_F(StartedDriver, TheManagementPoolHoldsSixtyEightFrames) {
  h.run([&] {
    std::vector<ManagementFrameBuffer*> taken;
    while (ManagementFrameBuffer* frame = TakeFrameBuffer(core)) {
      EXPECT_EQ(frame->Size, kManagementFrameBytes);
      taken.push_back(frame);
    }
    EXPECT_EQ(taken.size(), kManagementFrameCount);
    for (auto* frame : taken) ReturnFrameBuffer(core, frame);
    EXPECT_EQ(core->Management.Pool.Count, kManagementFrameCount);
  });
}

TEST_F(StartedDriver, AQueuedFrameWaitsForASendRecordAndIsNeverLost) {
  h.run([&] {
    ManagementFrameBuffer* frames[2] = {TakeFrameBuffer(core), TakeFrameBuffer(core)};
    for (auto* frame : frames) QueueManagementFrame(core, frame);
    EXPECT_EQ(ManagementQueueLength(core), 2u);

    // Every send record in use: nothing goes out and the oldest frame keeps its place.
    LockedList& records = core->Os->SendDescriptors;
    std::vector<SendDescriptor*> held;
    while (SendDescriptor* record = core->Os->Table->PopRecord(&records)) held.push_back(record);
    EXPECT_FALSE(SendManagementFrame(core));
    EXPECT_EQ(ManagementQueueLength(core), 2u);
    EXPECT_EQ(core->Management.Queue.Head, &frames[0]->Link);
    EXPECT_TRUE(ChipLayerRecorder::transmitted.empty());
    for (auto* record : held) core->Os->Table->AppendRecord(&records, record);

    const ULONG pool = core->Management.Pool.Count;
    EXPECT_TRUE(SendManagementFrame(core));
    EXPECT_TRUE(SendManagementFrame(core));
    EXPECT_FALSE(SendManagementFrame(core));
    EXPECT_EQ(ChipLayerRecorder::transmitted, (std::vector<const void*>{frames[0], frames[1]}));
    EXPECT_EQ(core->Management.Pool.Count, pool + 2);  // sent frames go back to the pool
    EXPECT_EQ(records.Count, held.size());             // and their records to the list
  });
}

TEST_F(StartedDriver, ASendWhoseFrameCannotBeBuiltIsCompletedAtOnce) {
  h.run([&] {
    LockedList& records = core->Os->SendDescriptors;
    const ULONG free = records.Count;
    SendDescriptor* record = core->Os->Table->PopRecord(&records);
    record->Packet = nullptr;
    record->Frame = nullptr;
    EXPECT_EQ(CoreOps(core).Send(core, record), 3u);
    EXPECT_EQ(records.Count, free);
    EXPECT_TRUE(ChipLayerRecorder::transmitted.empty());
  });
}

TEST_F(StartedDriver, ReceivedFramesAreDispatchedAndEveryRecordGoesBackOnce) {
  struct Case {
    const char* name;
    std::uint32_t length;
    std::uint8_t frameControl0;
    bool swiftBond;
    ULONG status;
    std::uint32_t counted;  // received-frame counter increase
  };
  const Case cases[] = {
      {"shorter than its header", 20, 0x80, false, 3, 0},
      {"longer than its buffer", 3000, 0x80, false, 3, 0},
      {"beacon", 100, 0x80, false, 0, 1},
      {"SwiftBond frame", 100, 0x08, true, 0, 1},
      {"data while disconnected", 100, 0x08, false, 3, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> buffer(2032, 0);
    buffer[2] = c.frameControl0;
    if (c.swiftBond) {
      const std::uint8_t header[] = {0xAA, 0xAA, 0x03, 0x02, 0x5A, 0x9C, 0x00, 0x01};
      std::memcpy(buffer.data() + kChipHeaderBytes, header, sizeof header);
    }
    ReceiveRecord record{{nullptr}, buffer.data(), c.length, static_cast<ULONG>(buffer.size())};
    ChipLayerRecorder::returned.clear();
    const std::uint32_t before = core->Counters.Received;
    ULONG status = 99;
    h.run([&] { status = CoreOps(core).Receive(core, &record); });
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(core->Counters.Received - before, c.counted);
    EXPECT_EQ(ChipLayerRecorder::returned, std::vector<ReceiveRecord*>{&record});
  }
}

TEST(CoreStart, AGroupNetworkAddressFromTheRegistryLeavesTheChipsAddress) {
  for (const char* address : {"FF-FF-FF-FF-FF-FF", "01-00-5E-00-00-01"}) {
    SCOPED_TRACE(address);
    DriverHarness h(Parameters{{"NetworkAddress", address}});
    ASSERT_EQ(h.start(), NDIS_STATUS_SUCCESS);
    h.advance(milliseconds(50));
    EXPECT_EQ(h.core()->StationAddress, h.hal()->spec.permanentMac);
    EXPECT_EQ(h.hal()->currentMac, h.hal()->spec.permanentMac);
    EXPECT_EQ(h.core()->StationAddress[0] & 0x01, 0);
    for (const auto& command : h.chip.commands()) EXPECT_NE(command.code, hal::HLVN_FW_SET_MAC_ADDRESS);
  }
}

TEST_F(StartedDriver, AFragmentedFrameIsJoinedAndEveryRecordGoesBackOnce) {
  const testing::Address ap = {0x00, 0x0C, 0x41, 0x10, 0x20, 0x30};
  h.run([&] {
    core->MediaDisconnected = 0;
    core->MlmeState = kMlmeAssociated;
    std::copy(ap.begin(), ap.end(), core->Bssid.begin());
  });
  // Two frames' fragments interleaved: neither joins the other's.
  EXPECT_EQ(receive(testing::DataFrame(ap, 5, 0, true, 1500, 0x55)), 0u);
  EXPECT_EQ(receive(testing::DataFrame(ap, 6, 1, false, 100, 0x66)), 3u);
  EXPECT_EQ(core->Reassembly.Expected, 1);
  // The joined frame (1,500 + 800 bytes) does not fit the last fragment's receive buffer:
  // it is dropped and the core's buffer is free again.
  EXPECT_EQ(receive(testing::DataFrame(ap, 5, 1, false, 800, 0x55)), 3u);
  EXPECT_EQ(ChipLayerRecorder::returned.size(), 3u);
  EXPECT_EQ(core->Reassembly.Expected, 0);
  EXPECT_EQ(core->Reassembly.Record.Length, 0u);
}

TEST_F(StartedDriver, LedEventsSendTheConfiguredWordsAndOnlyPowerOffWhileTheRadioIsOff) {
  for (std::uint32_t i = 0; i < 10; ++i) {
    core->Config.led0[i] = 0x100 + i;
    core->Config.led1[i] = 0x200 + i;
  }
  struct Case {
    std::uint32_t radioOn, offAfterRadioOff, event;
    std::vector<ULONG> words;
  };
  const Case cases[] = {
      {1, 1, kLedEventPowerOn, {0x100, 0x200}},   {1, 1, kLedEventPowerOff, {0x101, 0x201}},
      {1, 1, kLedEventScan, {0x102, 0x202}},      {1, 1, kLedEventAssociated, {0x103, 0x203}},
      {1, 1, kLedEventJoined, {0x104, 0x204}},    {1, 1, kLedEventStarted, {0x105, 0x205}},
      {1, 1, kLedEventTxHigh, {0x106, 0x206}},    {1, 1, kLedEventRxHigh, {0x107, 0x207}},
      {1, 1, kLedEventTx, {0x108, 0x208}},        {1, 1, kLedEventRx, {0x109, 0x209}},
      {0, 1, kLedEventScan, {0x101, 0x201}},      {2, 1, kLedEventAssociated, {0x101, 0x201}},
      {0, 0, kLedEventScan, {0x102, 0x202}},      {1, 1, 3, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "radio " << c.radioOn << " off-after " << c.offAfterRadioOff << " event "
                                      << c.event);
    core->Config.radioOn = c.radioOn;
    core->Config.ledOffAfterRadioOff = c.offAfterRadioOff;
    ChipLayerRecorder::leds.clear();
    h.run([&] { SetLedPattern(core, c.event); });
    EXPECT_EQ(ChipLayerRecorder::leds, c.words);
  }
  core->Config.radioOn = 1;
  for (auto [state, event] : {std::pair{5, 5u}, {9, 6u}, {11, 7u}, {0, 1u}, {3, 1u}}) {
    core->MlmeState = static_cast<std::uint16_t>(state);
    EXPECT_EQ(LinkStateLedEvent(core), event) << "state " << state;
  }
  core->MlmeState = kMlmeIdle;
}

TEST_F(StartedDriver, AssociatedLinkMonitorActsOnTheTwentiethMissedBeacon) {
  h.run([&] { core->MlmeState = kMlmeAssociated; });
  h.advance(milliseconds(1900));
  EXPECT_EQ(core->Link.MissedBeacons, 19);
  EXPECT_EQ(core->Link.AssociatedTicks, 19u);
  EXPECT_EQ(core->MlmeState, kMlmeAssociated);
  h.advance(milliseconds(100));
  // A quiet channel: the link is lost; with no other access point Reconnect stays
  // associated and lets the link monitor drop the link later.
  EXPECT_EQ(core->MlmeState, kMlmeAssociated);
  EXPECT_EQ(core->Link.MissedBeacons, 20);
  EXPECT_EQ(core->Flags & kFlagConnecting, 0u);
}

TEST_F(StartedDriver, ABusyChannelBacksTheLinkMonitorOffForThirtySeconds) {
  h.chip.setChannelActivity(40);
  h.run([&] { core->MlmeState = kMlmeAssociated; });
  h.advance(milliseconds(2000));
  EXPECT_EQ(core->MlmeState, kMlmeAssociated);
  EXPECT_EQ(core->Link.MissedBeacons, 0);
  EXPECT_EQ(core->Link.InterferenceSamples, 0);
  const std::uint32_t ticks = LinkMonitorTicks();
  h.advance(milliseconds(29900));
  EXPECT_EQ(LinkMonitorTicks(), ticks);  // silent while backing off
  h.advance(milliseconds(100 + 150 * 4));
  EXPECT_EQ(LinkMonitorTicks() - ticks, 4u);  // then every beacon period + 50 ms
}

TEST_F(StartedDriver, AJoinedIbssIsLeftAfterTwentyMissedBeacons) {
  h.run([&] { core->MlmeState = kMlmeIbssJoined; });
  h.advance(milliseconds(1900));
  EXPECT_EQ(core->MlmeState, kMlmeIbssJoined);
  h.advance(milliseconds(100));
  EXPECT_EQ(core->MlmeState, kMlmeIbssStarted);
  EXPECT_EQ(core->LinkLost, 1);
  EXPECT_EQ(core->Link.MissedBeacons, 0);
  const auto status = h.host->takeStatus();
  ASSERT_EQ(status.size(), 1u);
  EXPECT_EQ(status[0].status, NDIS_STATUS_MEDIA_DISCONNECT);
  const std::uint32_t ticks = LinkMonitorTicks();
  h.advance(milliseconds(1000));
  EXPECT_EQ(LinkMonitorTicks(), ticks);  // leaving the network stopped the monitor
}

TEST_F(StartedDriver, TheEapolHoldOffLastsTenSeconds) {
  h.run([&] { EapolHoldOff(core); });
  EXPECT_EQ(core->EapolHoldOff, 1);
  h.advance(milliseconds(9990));
  EXPECT_EQ(core->EapolHoldOff, 1);
  h.advance(milliseconds(20));
  EXPECT_EQ(core->EapolHoldOff, 0);
}

TEST_F(StartedDriver, ServicesForTheChipLayerAndTheOidLayer) {
  h.run([&] {
    core->Link = {7, 8, 9, 1, 0};
    EXPECT_EQ(ResetLinkCounters(core), 2u);
    EXPECT_EQ(core->Link.MissedBeacons, 0);
    EXPECT_EQ(core->Link.AssociatedTicks, 0u);
    EXPECT_EQ(core->Link.BeaconsReceived, 0u);
    core->MlmeState = kMlmeAssociated;
    EXPECT_EQ(ResetLinkCounters(core), 1u);
    core->MlmeState = kMlmeIdle;

    EXPECT_TRUE(PowerSaveAllowed(core));
    SetFlags(core, kFlagScanning);
    EXPECT_FALSE(PowerSaveAllowed(core));
    ClearFlags(core, kFlagScanning);
    core->Config.networkMode = 2;
    EXPECT_FALSE(PowerSaveAllowed(core));
    core->Config.networkMode = 1;

    EXPECT_TRUE(ShortPreambleAllowed(core));
  });
}

TEST_F(StartedDriver, TheFirmwaresStatisticsReplyIsStored) {
  const std::uint32_t values[] = {11, 22, 33, 44, 55, 66, 77, 88};
  auto& counters = h.chip.counters();
  counters = {values[0], values[1], values[2], values[3], values[4], values[5], values[6], values[7]};
  h.run([&] { hal::SendGetStatistics(core->Hal); });
  h.advance(milliseconds(20));
  EXPECT_TRUE(std::equal(std::begin(values), std::end(values), core->FirmwareCounters));
  EXPECT_EQ(core->TxFailPhase, 2);
}

}  // namespace
}  // namespace zelnic::core
