#include "driver/ndis/miniport.h"

#include <gtest/gtest.h>

#include "driver/ndis/os_class.h"
#include "driver/ndis/packet_reserved.h"
#include "driver/ndis/shell_test_doubles.h"
#include "driver/ndis/status_codes.h"
#include "platform/ndis/adapter_runtime.h"

namespace {

using shell_test::ShellAdapter;
using shell_test::WithWdm;
using Log = std::vector<std::string>;

std::vector<std::uint64_t> Ids(const std::vector<ndis::SendCompletion>& completions) {
  std::vector<std::uint64_t> ids;
  for (const auto& c : completions) ids.push_back(c.id);
  return ids;
}

TEST(MiniportShell, StartsAndHaltsTheLayersInOrderAndLeavesNothing) {
  ShellAdapter a;
  ASSERT_EQ(a.host->driverEntryStatus(), NDIS_STATUS_SUCCESS);
  EXPECT_TRUE(a.layers.devicesCleared);
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  EXPECT_EQ(a.layers.log, (Log{"create core", "chip start", "register device", "start core"}));
  EXPECT_EQ(a.context()->State, MiniportRunning);
  EXPECT_EQ(a.context()->Ready, kMiniportReady);
  EXPECT_EQ(a.host->attributes().checkForHangSeconds, 5u);
  EXPECT_EQ(a.host->attributes().flags, 0x2E8u);
  EXPECT_EQ(a.host->attributes().interfaceType, NdisInterfacePci);
  AdapterResources* resources = a.layers.core->Chip->Resources;
  EXPECT_EQ(resources->VendorId, 0x1E4D);
  EXPECT_EQ(resources->DeviceId, 0x2D17);
  EXPECT_EQ(resources->WindowCount, 2u);
  EXPECT_TRUE(resources->InterruptRegistered);

  a.layers.log.clear();
  a.host->halt();
  EXPECT_EQ(a.layers.log, (Log{"leave network", "stop firmware", "core halt 1", "chip stop 1", "wait for utility",
                               "deregister device", "core destroy", "chip destroy"}));
  EXPECT_TRUE(a.host->leaks().empty()) << a.host->leaks().describe();
  EXPECT_TRUE(a.host->violations().empty());
}

TEST(MiniportShell, OsClassAndMapRegistersFollowTheWdmVersion) {
  struct Case {
    std::uint8_t major, minor;
    ULONG osClass;
    ULONG registers, mapping;
  };
  for (const Case& c : {Case{1, 0x20, 4, 1, 2}, Case{1, 0x10, 3, 1, 2}, Case{1, 0x05, 2, 32, 1600},
                        Case{1, 0x00, 1, 1, 2}, Case{0, 0, 0, 1, 2}}) {
    ShellAdapter a(WithWdm(c.major, c.minor));
    EXPECT_EQ(OsClass(), c.osClass);
    ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
    EXPECT_EQ(a.host->mapRegisters().count, c.registers) << int(c.minor);
    EXPECT_EQ(a.host->mapRegisters().maximumMapping, c.mapping);
    EXPECT_EQ(a.host->mapRegisters().dmaSize, NDIS_DMA_32BITS);
    a.host->halt();
    EXPECT_TRUE(a.host->leaks().empty()) << a.host->leaks().describe();
  }
}

TEST(MiniportShell, RefusesAMediumArrayWithout8023AndAllocatesNothing) {
  ShellAdapter a;
  const NDIS_MEDIUM others[] = {NdisMedium802_5, NdisMediumWan};
  EXPECT_EQ(a.host->initialize(others), NDIS_STATUS_UNSUPPORTED_MEDIA);
  EXPECT_TRUE(a.layers.log.empty());
  EXPECT_TRUE(a.host->leaks().empty());

  const NDIS_MEDIUM second[] = {NdisMediumFddi, NdisMedium802_3};
  ASSERT_EQ(a.host->initialize(second), NDIS_STATUS_SUCCESS);
  EXPECT_EQ(a.host->selectedMedium(), 1u);
  a.host->halt();
}

// Each start-up step can fail; none may leave anything allocated.
struct StartFailure {
  const char* name;
  std::function<void(ShellAdapter&)> arrange;
  NDIS_STATUS expected;
};

class StartUpFailure : public ::testing::TestWithParam<StartFailure> {};

TEST_P(StartUpFailure, LeavesNothingAllocated) {
  ShellAdapter a;
  GetParam().arrange(a);
  EXPECT_EQ(a.host->initialize(), GetParam().expected);
  EXPECT_FALSE(a.host->running());
  EXPECT_TRUE(a.host->leaks().empty()) << a.host->leaks().describe();
  EXPECT_TRUE(a.host->violations().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, StartUpFailure,
    ::testing::Values(
        StartFailure{"Context", [](ShellAdapter& a) { a.host->setFailureRule(ndis::FailTag(kTagMiniportContext)); },
                     NDIS_STATUS_RESOURCES},
        StartFailure{"MapRegisters",
                     [](ShellAdapter& a) { a.host->setFailureRule(ndis::FailAll(ndis::RequestKind::MapRegisters)); },
                     NDIS_STATUS_RESOURCES},
        // The map registers are already taken when the container cannot be made.
        StartFailure{"Container", [](ShellAdapter& a) { a.host->setFailureRule(ndis::FailTag(kTagContainer)); },
                     NDIS_STATUS_RESOURCES},
        StartFailure{"OsLayer", [](ShellAdapter& a) { a.host->setFailureRule(ndis::FailTag(kTagServiceTable)); },
                     NDIS_STATUS_FAILURE},
        StartFailure{"Core", [](ShellAdapter& a) { a.layers.coreCreationFails = true; }, NDIS_STATUS_FAILURE},
        StartFailure{"Interrupt",
                     [](ShellAdapter& a) { a.host->setFailureRule(ndis::FailAll(ndis::RequestKind::Interrupt)); },
                     NDIS_STATUS_FAILURE},
        StartFailure{"ChipStart", [](ShellAdapter& a) { a.layers.startStatus = NDIS_STATUS_FAILURE; },
                     NDIS_STATUS_FAILURE}),
    [](const auto& info) { return info.param.name; });

TEST(MiniportShell, MapStatusTable) {
  const std::pair<ULONG, NDIS_STATUS> table[] = {
      {0, NDIS_STATUS_SUCCESS},
      {1, NDIS_STATUS_RESOURCES},
      {2, NDIS_STATUS_PENDING},
      {3, NDIS_STATUS_FAILURE},
      {4, NDIS_STATUS_NOT_RECOGNIZED},
      {5, NDIS_STATUS_NOT_RECOGNIZED},
      {9, NDIS_STATUS_NOT_RECOGNIZED},
      {10, NDIS_STATUS_UNSUPPORTED_MEDIA},
      {11, NDIS_STATUS_NOT_RESETTABLE},
      {12, NDIS_STATUS_INVALID_LENGTH},
      {13, NDIS_STATUS_INVALID_DATA},
      {14, NDIS_STATUS_BUFFER_TOO_SHORT},
      {15, NDIS_STATUS_INVALID_OID},
      {16, NDIS_STATUS_ADAPTER_NOT_FOUND},
      {17, NDIS_STATUS_ADAPTER_NOT_READY},
      {18, NDIS_STATUS_NOT_SUPPORTED},
      {19, NDIS_STATUS_NOT_ACCEPTED},
      {20, NDIS_STATUS_ADAPTER_REMOVED},
      {21, NDIS_STATUS_RESET_IN_PROGRESS},
      {22, NDIS_STATUS_NOT_RECOGNIZED},
      {0xFFFFFFFF, NDIS_STATUS_NOT_RECOGNIZED},
  };
  for (const auto& [code, status] : table) EXPECT_EQ(MapStatus(code), status) << code;
}

TEST(MiniportShell, SendsAreRefusedUnlessRunningAndConnected) {
  ShellAdapter a;
  a.layers.mediaConnected = FALSE;
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  auto ids = a.host->send({ndis::EthFrame(60, 1), ndis::EthFrame(60, 2)});
  EXPECT_EQ(a.host->takeSendCompletions(),
            (std::vector<ndis::SendCompletion>{{ids[0], NDIS_STATUS_FAILURE}, {ids[1], NDIS_STATUS_FAILURE}}));

  a.layers.mediaConnected = TRUE;
  a.layers.resetStatus = StatusResetInProgress;  // the reset fails: the adapter stays in state 1
  EXPECT_EQ(a.host->reset().status, NDIS_STATUS_RESET_IN_PROGRESS);
  ids = a.host->send({ndis::EthFrame(60, 3)});
  EXPECT_EQ(a.host->takeSendCompletions(), (std::vector<ndis::SendCompletion>{{ids[0], NDIS_STATUS_FAILURE}}));
  EXPECT_TRUE(a.layers.sent.empty());
  a.host->halt();
}

TEST(MiniportShell, QueuedSendsKeepTheirOrderAndHaltCompletesTheRestWithSuccess) {
  ShellAdapter a;
  a.layers.transmitPulls = false;
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  const auto ids = a.host->send({ndis::EthFrame(60, 1), ndis::EthFrame(61, 2), ndis::EthFrame(62, 3),
                                 ndis::EthFrame(63, 4)});
  MiniportContext* context = a.context();
  EXPECT_EQ(PendingSendCount(context), 4u);
  EXPECT_TRUE(a.host->takeSendCompletions().empty());
  a.host->runtime().callDriver(DISPATCH_LEVEL, "transmit service", [&] {
    EXPECT_TRUE(TakePendingSend(context));
    EXPECT_TRUE(TakePendingSend(context));
  });
  ASSERT_EQ(a.layers.sent.size(), 2u);
  EXPECT_EQ(a.layers.sent[0]->TotalLength, 60u);
  EXPECT_EQ(a.layers.sent[1]->TotalLength, 61u);
  // The core completes the first of them through the OS-service table.
  OsLayer* os = context->Container->Os;
  a.host->runtime().callDriver(DISPATCH_LEVEL, "transmit done",
                               [&] { os->Table->CompleteSend(os, a.layers.sent[0], FALSE); });
  EXPECT_EQ(Ids(a.host->takeSendCompletions()), (std::vector<std::uint64_t>{ids[0]}));

  a.host->halt();  // the second is still with the core; the last two are still queued
  EXPECT_EQ(a.host->takeSendCompletions(),
            (std::vector<ndis::SendCompletion>{{ids[2], NDIS_STATUS_SUCCESS}, {ids[3], NDIS_STATUS_SUCCESS}}));
}

TEST(MiniportShell, APacketThatCannotBeDescribedStaysFirstInTheQueue) {
  ShellAdapter a;
  a.layers.transmitPulls = false;
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  // Buffers of one byte: a 400-byte frame needs more fragment nodes than there are.
  const auto ids = a.host->send({ndis::EthFrame(400, 7), ndis::EthFrame(60, 8)}, 1);
  MiniportContext* context = a.context();
  a.host->runtime().callDriver(DISPATCH_LEVEL, "transmit service", [&] { EXPECT_FALSE(TakePendingSend(context)); });
  EXPECT_EQ(PendingSendCount(context), 2u);
  EXPECT_EQ(context->Container->Os->FragmentNodes.Count, kFragmentNodeCount);
  EXPECT_EQ(context->Container->Os->SendDescriptors.Count, kSendDescriptorCount);
  a.host->halt();
  EXPECT_EQ(Ids(a.host->takeSendCompletions()), ids);
}

TEST(MiniportShell, InterruptsReachTheChipLayerOnlyWhileInitialisingOrRunning) {
  ShellAdapter a;
  a.layers.onIsr = [&] { a.chip.bus()->setInterruptLine(false); };  // the ISR acknowledges
  // The chip raises its line during the firmware download: the interrupt path runs while
  // the start waits.
  a.layers.onStart = [&](HalAdapter*) {
    a.chip.bus()->setInterruptLine(true);
    NdisMSleep(1000);
  };
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  EXPECT_EQ(a.layers.log, (Log{"create core", "chip start", "chip isr", "chip deferred", "enable interrupts",
                               "register device", "start core"}));

  a.layers.log.clear();
  a.layers.isrResult = 0;  // not the adapter's: no deferred handler
  a.chip.bus()->setInterruptLine(true);
  a.scheduler.settle();
  EXPECT_EQ(a.layers.log, (Log{"chip isr"}));

  a.layers.log.clear();
  a.context()->State = MiniportResetting;
  a.chip.bus()->setInterruptLine(true);
  a.scheduler.settle();
  EXPECT_TRUE(a.layers.log.empty());
  EXPECT_EQ(a.host->unclaimedInterrupts(), 2u);
  a.chip.bus()->setInterruptLine(false);
  a.context()->State = MiniportRunning;
  a.host->halt();
}

TEST(MiniportShell, SurpriseRemovalCompletesSendsAndTheHaltAfterItFreesTheContext) {
  ShellAdapter a;
  a.layers.transmitPulls = false;
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  const auto ids = a.host->send({ndis::EthFrame(60, 1), ndis::EthFrame(60, 2)});
  a.layers.log.clear();
  a.host->runtime().callDriver(PASSIVE_LEVEL, "removal", [&] {
    MiniportPnPEventNotify(a.host->miniportContext(), NdisDevicePnPEventSurpriseRemoved, nullptr, 0);
  });
  EXPECT_EQ(a.layers.log, (Log{"core halt 1", "chip stop 1", "wait for utility", "wait for utility",
                               "deregister device", "core destroy", "chip destroy"}));
  EXPECT_EQ(Ids(a.host->takeSendCompletions()), ids);

  // Removed: requests, sends and resets are refused or answered without work.
  EXPECT_EQ(a.host->query(OID_GEN_LINK_SPEED, 4).status, NDIS_STATUS_ADAPTER_REMOVED);
  EXPECT_EQ(a.host->set(OID_GEN_CURRENT_LOOKAHEAD, std::vector<std::uint8_t>(4)).status,
            NDIS_STATUS_ADAPTER_REMOVED);
  const ndis::ResetResult reset = a.host->reset();
  EXPECT_EQ(reset.status, NDIS_STATUS_SUCCESS);
  EXPECT_FALSE(reset.addressingReset);
  EXPECT_FALSE(a.host->checkForHang());
  const auto late = a.host->send({ndis::EthFrame(60, 3)});
  EXPECT_EQ(a.host->takeSendCompletions(), (std::vector<ndis::SendCompletion>{{late[0], NDIS_STATUS_FAILURE}}));

  a.host->halt();
  EXPECT_TRUE(a.host->leaks().empty()) << a.host->leaks().describe();
  EXPECT_TRUE(a.host->spurious().empty());
}

TEST(MiniportShell, ResetHangCheckAndShutdownGoToTheChipLayer) {
  ShellAdapter a(WithWdm(1, 0x05));  // OS class 2: shutdown reaches the chip layer
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  a.layers.log.clear();
  const ndis::ResetResult reset = a.host->reset();
  EXPECT_EQ(reset.status, NDIS_STATUS_SUCCESS);
  EXPECT_TRUE(reset.addressingReset);
  EXPECT_EQ(a.context()->State, MiniportRunning);
  EXPECT_FALSE(a.host->checkForHang());
  a.layers.hangCheck = TRUE;
  EXPECT_TRUE(a.host->checkForHang());  // the host resets a hung adapter
  EXPECT_EQ(a.context()->State, MiniportRunning);
  a.host->shutdown();
  EXPECT_EQ(a.layers.log, (Log{"chip reset", "chip reset", "chip shutdown"}));
  a.host->halt();

  ShellAdapter newer;  // OS class 4: shutdown does nothing
  ASSERT_EQ(newer.host->initialize(), NDIS_STATUS_SUCCESS);
  newer.layers.log.clear();
  newer.host->shutdown();
  EXPECT_TRUE(newer.layers.log.empty());
  newer.host->halt();
}

TEST(MiniportShell, RequestsGoToTheCoreAndSetResultsAreMappedOnce) {
  ShellAdapter a;
  EXPECT_EQ(a.host->driverEntryStatus(), NDIS_STATUS_SUCCESS);
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  EXPECT_EQ(a.host->query(OID_GEN_LINK_SPEED, 4).bytesDone, 4u);
  EXPECT_EQ(a.host->set(OID_GEN_CURRENT_LOOKAHEAD, std::vector<std::uint8_t>(4)).status, NDIS_STATUS_INVALID_DATA);
  a.host->halt();
}

TEST(MiniportShell, AReturnedReceivePacketGivesItsBufferBackToTheChipLayer) {
  ShellAdapter a;
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  OsLayer* os = a.context()->Container->Os;
  NDIS_HANDLE pool = nullptr, buffers = nullptr;
  PNDIS_PACKET packet = nullptr;
  static UCHAR frame[64];
  int record = 0;
  a.host->runtime().callDriver(DISPATCH_LEVEL, "receive", [&] {
    ASSERT_EQ(os->Table->CreatePacketPool(os, &pool, 4, 0, 0), StatusSuccess);
    ASSERT_EQ(os->Table->AllocatePacket(os, pool, &packet), StatusSuccess);
    NDIS_STATUS status;
    NdisAllocateBufferPool(&status, &buffers, 4);
    ReceiveIndication indication{packet, buffers, frame, sizeof frame, &record};
    EXPECT_EQ(os->Table->IndicateReceive(os, &indication), StatusSuccess);
  });
  EXPECT_EQ(a.host->takeReceived(), std::vector<ndis::EthFrame>{ndis::EthFrame(frame, frame + 64)});
  a.scheduler.settle();  // NDIS gives the packet back
  EXPECT_EQ(a.layers.returnedRecords, std::vector<PVOID>{&record});
  EXPECT_EQ(packet->Private.Head, nullptr);
  EXPECT_FALSE(packet->Private.ValidCounts);
  a.host->runtime().callDriver(DISPATCH_LEVEL, "cleanup", [&] {
    os->Table->FreePacket(os, packet);
    os->Table->FreePacketPool(os, pool);
    NdisFreeBufferPool(buffers);
  });
  a.host->halt();
  EXPECT_TRUE(a.host->leaks().empty()) << a.host->leaks().describe();
}

TEST(MiniportShell, APacketFromNdisIsNeverTakenForARawFrameWhateverItsReservedAreaHeld) {
  ShellAdapter a;
  a.layers.transmitPulls = false;
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  MiniportContext* context = a.context();
  OsLayer* os = context->Container->Os;
  NDIS_HANDLE pool = nullptr;
  PNDIS_PACKET packet = nullptr;
  a.host->runtime().callDriver(DISPATCH_LEVEL, "protocol send", [&] {
    NDIS_STATUS status;
    NdisAllocatePacketPool(&status, &pool, 1, 0);
    NdisAllocatePacket(&status, &packet, pool);
    ReservedOf(packet)->Raw.OwnerTag = kRawFrameTagBase + 1;  // what the protocol happened to leave there
    MiniportSendPackets(context, &packet, 1);
    ASSERT_TRUE(TakePendingSend(context));
    os->Table->CompleteSend(os, a.layers.sent.back(), FALSE);
  });
  EXPECT_TRUE(a.layers.events.empty());
  ASSERT_EQ(a.host->spurious().size(), 1u);  // completed to NDIS (the test, not the host, made it)
  EXPECT_EQ(a.host->spurious()[0].kind, ndis::SpuriousCompletion::Kind::Send);
  NdisFreePacket(packet);
  NdisFreePacketPool(pool);
  a.host->halt();
}

TEST(MiniportShell, HaltPutsQueuedRawFramesBackOnTheirListInsteadOfCompletingThemToNdis) {
  ShellAdapter a;
  a.layers.transmitPulls = false;
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  MiniportContext* context = a.context();
  OsLayer* os = context->Container->Os;
  LockedList rawFrames;
  NDIS_HANDLE pool = nullptr;
  PNDIS_PACKET raw = nullptr;
  a.host->runtime().callDriver(DISPATCH_LEVEL, "raw frame", [&] {
    os->Table->InitList(&rawFrames);
    os->RawFramePackets = &rawFrames;
    os->Table->CreatePacketPool(os, &pool, 1, 0, 0);
    os->Table->AllocatePacket(os, pool, &raw);
    ReservedOf(raw)->Raw.OwnerTag = kRawFrameTagBase + 5;
    QueuePendingSend(context, raw);
  });
  const auto ids = a.host->send({ndis::EthFrame(60, 1)});
  a.host->halt();
  EXPECT_EQ(Ids(a.host->takeSendCompletions()), ids);
  EXPECT_TRUE(a.host->spurious().empty());
  EXPECT_EQ(rawFrames.Count, 1u);
  EXPECT_EQ(PacketOfLink(static_cast<ListLink*>(rawFrames.Head)), raw);
  NdisFreePacket(raw);  // the chip layer's packet and pool: freed by the test in its place
  NdisFreePacketPool(pool);
  EXPECT_TRUE(a.host->leaks().empty()) << a.host->leaks().describe();
}

}  // namespace

namespace {

// Start-up with interrupts during the download, sends, a timer and halt, traced.
std::vector<ndis::TraceEntry> TracedRun() {
  ShellAdapter a;
  a.scheduler.recordTrace(true);
  a.layers.onIsr = [&] { a.chip.bus()->setInterruptLine(false); };
  a.layers.onStart = [&](HalAdapter*) {
    a.chip.bus()->scheduleChipEvent(std::chrono::microseconds(300), "raise", [&] { a.chip.bus()->setInterruptLine(true); });
    for (int i = 0; i < 3; ++i) NdisMSleep(200);
  };
  EXPECT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  a.host->send({ndis::EthFrame(60, 1), ndis::EthFrame(70, 2)});
  a.chip.bus()->scheduleChipEvent(std::chrono::milliseconds(5), "raise", [&] { a.chip.bus()->setInterruptLine(true); });
  a.scheduler.runFor(std::chrono::milliseconds(10));
  a.host->halt();
  return a.scheduler.trace();
}

TEST(MiniportShell, TheSameRunGivesTheSameEventTrace) {
  const auto first = TracedRun();
  EXPECT_GE(first.size(), 8u);
  EXPECT_EQ(first, TracedRun());
}

}  // namespace
