#include "platform/ndis/host.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/ndis/test_miniport.h"

namespace ndis {
namespace {

using testing::TestAdapter;

TEST(NdisHost, LoadsTheEntryAndInitializesTheMiniport) {
  TestAdapter a;
  EXPECT_EQ(a.host->driverEntryStatus(), NDIS_STATUS_SUCCESS);
  EXPECT_TRUE(a.host->registered());
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  EXPECT_TRUE(a.host->running());
  EXPECT_EQ(a.host->attributes().flags, NDIS_ATTRIBUTE_DESERIALIZE | NDIS_ATTRIBUTE_BUS_MASTER);
  EXPECT_EQ(a.host->miniportContext(), &a.miniport);
  a.host->halt();
  EXPECT_FALSE(a.host->running());
  EXPECT_TRUE(a.host->leaks().empty()) << a.host->leaks().describe();
  EXPECT_TRUE(a.host->violations().empty());
}

TEST(NdisHost, RefusesCharacteristicsOfAnotherVersion) {
  Scheduler scheduler;
  RegisterFileChip chip;
  AdapterConfig config;
  config.violations = ViolationPolicy::Record;
  auto host = NdisHost::load(
      [](PDRIVER_OBJECT driver, PUNICODE_STRING path) {
        NDIS_HANDLE wrapper = nullptr;
        NdisInitializeWrapper(&wrapper, driver, path, nullptr);
        NDIS51_MINIPORT_CHARACTERISTICS c{};
        c.MajorNdisVersion = 4;
        return NdisMRegisterMiniport(wrapper, &c, sizeof c);
      },
      config, chip, scheduler);
  EXPECT_NE(host->driverEntryStatus(), NDIS_STATUS_SUCCESS);
  EXPECT_FALSE(host->registered());
}

// Status indications wait for the host to take them, in their order; one that never takes
// them holds only the latest 256, the completions all counted.
TEST(NdisHost, StatusIndicationsWaitToBeTakenAndOnlyTheLatestAreKept) {
  TestAdapter a;
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  const auto indicate = [&](ULONG count) {
    a.run(DISPATCH_LEVEL, [&] {
      for (ULONG i = 0; i < count; ++i) {
        NdisMIndicateStatus(a.miniport.adapter, NDIS_STATUS_MEDIA_SPECIFIC_INDICATION, &i, sizeof i);
        NdisMIndicateStatusComplete(a.miniport.adapter);
      }
    });
  };
  const auto payloadOf = [](ULONG i) {
    return std::vector<std::uint8_t>{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8), 0, 0};
  };
  indicate(2);
  const std::vector<StatusIndication> first{{NDIS_STATUS_MEDIA_SPECIFIC_INDICATION, payloadOf(0)},
                                            {NDIS_STATUS_MEDIA_SPECIFIC_INDICATION, payloadOf(1)}};
  EXPECT_EQ(a.host->takeStatus(), first);
  EXPECT_TRUE(a.host->takeStatus().empty());

  indicate(1000);
  const std::vector<StatusIndication> kept = a.host->takeStatus();
  ASSERT_EQ(kept.size(), 256u);
  EXPECT_EQ(kept.front().payload, payloadOf(1000 - 256));
  EXPECT_EQ(kept.back().payload, payloadOf(999));
  EXPECT_EQ(a.host->statusCompleteCount(), 1002u);
  a.host->halt();
}

// Every kind of resource a miniport can hold; halt gives back all but the one named.
struct LeakCase {
  const char* forgotten;
  const char* reported;
};

class LeakReportTest : public ::testing::TestWithParam<LeakCase> {};

TEST_P(LeakReportTest, NamesWhatTheMiniportLeftBehind) {
  TestAdapter a;
  struct Held {
    PVOID memory;
    PVOID shared;
    NDIS_PHYSICAL_ADDRESS physical;
    NDIS_MINIPORT_TIMER timer;
    NDIS_HANDLE packetPool;
    PNDIS_PACKET packet;
    NDIS_HANDLE bufferPool;
    PNDIS_BUFFER buffer;
    PVOID window;
    NDIS_MINIPORT_INTERRUPT interrupt;
    NDIS_HANDLE configuration;
    PDEVICE_OBJECT device;
    NDIS_HANDLE deviceHandle;
  } h{};
  static UCHAR data[64];
  const std::string forgotten = GetParam().forgotten;
  a.miniport.initialize = [&] {
    NDIS_STATUS s;
    NDIS_HANDLE adapter = a.miniport.adapter;
    EXPECT_EQ(NdisAllocateMemoryWithTag(&h.memory, 40, NdisTag("IXNA")), NDIS_STATUS_SUCCESS);
    NdisMAllocateSharedMemory(adapter, 4096, FALSE, &h.shared, &h.physical);
    NdisMInitializeTimer(&h.timer, adapter, [](PVOID, PVOID, PVOID, PVOID) {}, nullptr);
    NdisMSetTimer(&h.timer, 1000);
    NdisAllocatePacketPoolEx(&s, &h.packetPool, 4, 0, 16);
    NdisAllocatePacket(&s, &h.packet, h.packetPool);
    NdisAllocateBufferPool(&s, &h.bufferPool, 4);
    NdisAllocateBuffer(&s, &h.buffer, h.bufferPool, data, sizeof data);
    NDIS_PHYSICAL_ADDRESS bar{};
    bar.QuadPart = 0xF0000000u;
    EXPECT_EQ(NdisMMapIoSpace(&h.window, adapter, bar, 0x10000), NDIS_STATUS_SUCCESS);
    EXPECT_EQ(NdisMRegisterInterrupt(&h.interrupt, adapter, 11, 11, TRUE, TRUE, NdisInterruptLevelSensitive),
              NDIS_STATUS_SUCCESS);
    EXPECT_EQ(NdisMAllocateMapRegisters(adapter, 0, NDIS_DMA_32BITS, 1, 2), NDIS_STATUS_SUCCESS);
    NdisOpenConfiguration(&s, &h.configuration, a.miniport.configuration);
    NDIS_STRING name, link;
    NdisInitUnicodeString(&name, u"\\Device\\Test0");
    NdisInitUnicodeString(&link, u"\\DosDevices\\Test0");
    PDRIVER_DISPATCH dispatch[IRP_MJ_MAXIMUM_FUNCTION + 1] = {};
    EXPECT_EQ(NdisMRegisterDevice(a.miniport.wrapper, &name, &link, dispatch, &h.device, &h.deviceHandle),
              NDIS_STATUS_SUCCESS);
    return NDIS_STATUS_SUCCESS;
  };
  a.miniport.halt = [&] {
    BOOLEAN cancelled;
    NDIS_HANDLE adapter = a.miniport.adapter;
    if (forgotten != "memory") NdisFreeMemory(h.memory, 40, 0);
    if (forgotten != "shared") NdisMFreeSharedMemory(adapter, 4096, FALSE, h.shared, h.physical);
    if (forgotten != "timer") NdisMCancelTimer(&h.timer, &cancelled);
    if (forgotten != "packet") NdisFreePacket(h.packet);
    if (forgotten != "packet" && forgotten != "packet pool") NdisFreePacketPool(h.packetPool);
    if (forgotten != "buffer") NdisFreeBuffer(h.buffer);
    if (forgotten != "buffer") NdisFreeBufferPool(h.bufferPool);  // a pool with a buffer out is not freed
    if (forgotten != "window") NdisMUnmapIoSpace(adapter, h.window, 0x10000);
    if (forgotten != "interrupt") NdisMDeregisterInterrupt(&h.interrupt);
    if (forgotten != "map registers") NdisMFreeMapRegisters(adapter);
    if (forgotten != "configuration") NdisCloseConfiguration(h.configuration);
    if (forgotten != "device") NdisMDeregisterDevice(h.deviceHandle);
  };
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  a.host->halt();
  const std::string report = a.host->leaks().describe();
  if (forgotten == "nothing") {
    EXPECT_EQ(report, "");
  } else {
    EXPECT_NE(report.find(GetParam().reported), std::string::npos) << report;
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), forgotten == "packet" || forgotten == "buffer" ? 2 : 1) << report;
  }
  EXPECT_TRUE(a.host->violations().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Resources, LeakReportTest,
    ::testing::Values(LeakCase{"nothing", ""}, LeakCase{"memory", "memory IXNA: 1 blocks, 40 bytes"},
                      LeakCase{"shared", "shared memory blocks: 1"}, LeakCase{"timer", "armed timers: 1"},
                      LeakCase{"packet", "packets: 1"}, LeakCase{"packet pool", "packet pools: 1"},
                      LeakCase{"buffer", "buffers: 1"}, LeakCase{"window", "mapped register windows: 1"},
                      LeakCase{"interrupt", "registered interrupt"}, LeakCase{"map registers", "map registers"},
                      LeakCase{"configuration", "open configurations: 1"}, LeakCase{"device", "control devices: 1"}),
    [](const auto& info) {
      std::string name = info.param.forgotten;
      std::replace(name.begin(), name.end(), ' ', '_');
      return name;
    });

TEST(NdisHost, PendedRequestsWaitForTheirCompletionAndStrayCompletionsAreRecorded) {
  TestAdapter a;
  NDIS_MINIPORT_TIMER completer;
  a.miniport.initialize = [&] {
    NdisMInitializeTimer(&completer, a.miniport.adapter,
                         [](PVOID, PVOID adapter, PVOID, PVOID) { NdisMSetInformationComplete(adapter, NDIS_STATUS_INVALID_DATA); },
                         a.miniport.adapter);
    return NDIS_STATUS_SUCCESS;
  };
  a.miniport.set = [&](NDIS_OID oid, PVOID, ULONG length, PULONG read, PULONG) {
    *read = length;
    if (oid == OID_802_11_SSID) {
      NdisMSetTimer(&completer, 300);
      return NDIS_STATUS_PENDING;
    }
    return NDIS_STATUS_SUCCESS;
  };
  a.miniport.query = [](NDIS_OID, PVOID buffer, ULONG length, PULONG written, PULONG needed) {
    if (length < 4) {
      *needed = 4;
      return NDIS_STATUS_BUFFER_TOO_SHORT;
    }
    *static_cast<ULONG*>(buffer) = 54000;
    *written = 4;
    return NDIS_STATUS_SUCCESS;
  };
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);

  OidResult speed = a.host->query(OID_GEN_LINK_SPEED, 4);
  EXPECT_EQ(speed.status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(speed.bytesDone, 4u);
  EXPECT_EQ(speed.data, (std::vector<std::uint8_t>{0xF0, 0xD2, 0, 0}));
  OidResult shortBuffer = a.host->query(OID_GEN_LINK_SPEED, 2);
  EXPECT_EQ(shortBuffer.status, NDIS_STATUS_BUFFER_TOO_SHORT);
  EXPECT_EQ(shortBuffer.bytesNeeded, 4u);

  const Micros before = a.scheduler.now();
  OidResult ssid = a.host->set(OID_802_11_SSID, std::vector<std::uint8_t>(36, 0));
  EXPECT_TRUE(ssid.pended);
  EXPECT_EQ(ssid.status, NDIS_STATUS_INVALID_DATA);
  EXPECT_EQ(a.scheduler.now() - before, 300ms);

  NdisMSetTimer(&completer, 10);  // a completion nobody waits for
  a.scheduler.runFor(20ms);
  ASSERT_EQ(a.host->spurious().size(), 1u);
  EXPECT_EQ(a.host->spurious()[0].kind, SpuriousCompletion::Kind::Set);

  OidResult late = a.host->set(OID_802_11_SSID, std::vector<std::uint8_t>(36, 0), 100ms);
  EXPECT_TRUE(late.timedOut);
  a.scheduler.runFor(1s);  // its completion arrives after the host gave up: recorded, not a crash
  EXPECT_EQ(a.host->spurious().size(), 2u);
  a.host->halt();
}

TEST(NdisHost, SendsAreMatchedToTheirCompletionsInAnyOrder) {
  TestAdapter a;
  std::vector<PNDIS_PACKET> queued;
  std::vector<UINT> bufferCounts;
  a.miniport.sendPackets = [&](PPNDIS_PACKET packets, UINT count) {
    for (UINT i = 0; i < count; ++i) {
      UINT buffers = 0, total = 0;
      NdisQueryPacket(packets[i], nullptr, &buffers, nullptr, &total);
      bufferCounts.push_back(buffers);
      queued.push_back(packets[i]);
    }
  };
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  const auto ids = a.host->send({EthFrame(14, 0xAA), EthFrame(7, 0xBB)}, 3);
  ASSERT_EQ(queued.size(), 2u);
  EXPECT_EQ(bufferCounts, (std::vector<UINT>{5, 3}));
  PNDIS_PACKET first = queued[0];
  a.run(DISPATCH_LEVEL, [&] {
    NdisMSendComplete(a.miniport.adapter, queued[1], NDIS_STATUS_FAILURE);
    NdisMSendComplete(a.miniport.adapter, queued[0], NDIS_STATUS_SUCCESS);
    NdisMSendComplete(a.miniport.adapter, first, NDIS_STATUS_SUCCESS);  // twice: spurious
  });
  EXPECT_EQ(a.host->takeSendCompletions(),
            (std::vector<SendCompletion>{{ids[1], NDIS_STATUS_FAILURE}, {ids[0], NDIS_STATUS_SUCCESS}}));
  ASSERT_EQ(a.host->spurious().size(), 1u);
  EXPECT_EQ(a.host->spurious()[0].kind, SpuriousCompletion::Kind::Send);

  a.host->send({EthFrame(60, 1)});  // never completed by the miniport
  a.host->halt();
  EXPECT_EQ(a.host->leaks().sendsNotCompleted, 1u);
}

// A miniport with one receive packet that it indicates on demand.
struct ReceiveFixture {
  TestAdapter a;
  NDIS_HANDLE packetPool = nullptr, bufferPool = nullptr;
  PNDIS_PACKET packet = nullptr;
  PNDIS_BUFFER buffer = nullptr;
  UCHAR frame[20];
  int returned = 0;

  ReceiveFixture() {
    for (int i = 0; i < 20; ++i) frame[i] = static_cast<UCHAR>(i);
    a.miniport.initialize = [this] {
      NDIS_STATUS s;
      NdisAllocatePacketPoolEx(&s, &packetPool, 1, 0, 0);
      NdisAllocatePacket(&s, &packet, packetPool);
      NdisAllocateBufferPool(&s, &bufferPool, 1);
      NdisAllocateBuffer(&s, &buffer, bufferPool, frame, sizeof frame);
      NdisChainBufferAtBack(packet, buffer);
      return NDIS_STATUS_SUCCESS;
    };
    a.miniport.returnPacket = [this](PNDIS_PACKET p) {
      EXPECT_EQ(p, packet);
      ++returned;
    };
    a.miniport.halt = [this] {
      NdisFreeBuffer(buffer);
      NdisFreeBufferPool(bufferPool);
      NdisFreePacket(packet);
      NdisFreePacketPool(packetPool);
    };
    EXPECT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  }

  void indicate(NDIS_STATUS status) {
    a.run(DISPATCH_LEVEL, [&] {
      NDIS_SET_PACKET_STATUS(packet, status);
      NdisMIndicateReceivePacket(a.miniport.adapter, &packet, 1);
    });
  }
};

TEST(NdisHost, ReceivedPacketsAreCopiedAndReturnedByThePolicy) {
  ReceiveFixture f;
  f.indicate(NDIS_STATUS_SUCCESS);
  auto received = f.a.host->takeReceived();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], EthFrame(f.frame, f.frame + 20));
  f.a.scheduler.settle();
  EXPECT_EQ(f.returned, 1);

  f.a.host->setReturnPolicy(ReturnPolicy::manual());
  f.indicate(NDIS_STATUS_SUCCESS);
  f.a.scheduler.runFor(1s);
  EXPECT_EQ(f.returned, 1);
  EXPECT_EQ(f.a.host->heldPackets(), 1u);
  f.a.host->returnHeldPackets();
  EXPECT_EQ(f.returned, 2);

  f.indicate(NDIS_STATUS_RESOURCES);  // the miniport keeps it: no return follows
  f.a.scheduler.runFor(1s);
  EXPECT_EQ(f.returned, 2);
  EXPECT_EQ(f.a.host->takeReceived().size(), 2u);

  f.indicate(NDIS_STATUS_SUCCESS);  // held at halt: given back before the halt handler runs
  f.a.host->halt();
  EXPECT_EQ(f.returned, 3);
  EXPECT_TRUE(f.a.host->leaks().empty()) << f.a.host->leaks().describe();
  EXPECT_TRUE(f.a.host->violations().empty());
}

// A host that never takes what was received holds only the latest 1,024 frames.
TEST(NdisHost, OnlyTheLatestReceivedFramesWaitToBeTaken) {
  ReceiveFixture f;
  for (int i = 0; i < 1100; ++i) {
    f.frame[0] = static_cast<UCHAR>(i);
    f.frame[1] = static_cast<UCHAR>(i >> 8);
    f.indicate(NDIS_STATUS_RESOURCES);  // the miniport's again at once
  }
  const std::vector<EthFrame> kept = f.a.host->takeReceived();
  ASSERT_EQ(kept.size(), 1024u);
  EXPECT_EQ(kept.front()[0] | kept.front()[1] << 8, 1100 - 1024);
  EXPECT_EQ(kept.back()[0] | kept.back()[1] << 8, 1099);
  f.a.host->halt();
}

TEST(NdisHost, PoolsHandOutWhatWasFreedAndCountOnlyWhatIsHeld) {
  TestAdapter a;
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  a.run(DISPATCH_LEVEL, [&] {
    NDIS_STATUS s;
    NDIS_HANDLE pool;
    NdisAllocatePacketPoolEx(&s, &pool, 2, 0, 8);
    PNDIS_PACKET first, second, third;
    NdisAllocatePacket(&s, &first, pool);
    first->ProtocolReserved[7] = 0x5A;
    NdisAllocatePacket(&s, &second, pool);
    NdisAllocatePacket(&s, &third, pool);
    EXPECT_EQ(third, nullptr);  // the limit holds
    EXPECT_EQ(NdisPacketPoolUsage(pool), 2u);
    NdisFreePacket(first);
    EXPECT_EQ(NdisPacketPoolUsage(pool), 1u);
    NdisAllocatePacket(&s, &third, pool);
    EXPECT_EQ(third, first);                      // reused
    EXPECT_EQ(third->ProtocolReserved[7], 0);     // and zeroed, as a fresh one
    EXPECT_EQ(third->Private.Pool, pool);
    NdisFreePacket(second);
    NdisFreePacket(third);
    NdisFreePacketPool(pool);
  });
  a.host->halt();
  EXPECT_TRUE(a.host->leaks().empty()) << a.host->leaks().describe();
  EXPECT_TRUE(a.host->violations().empty());
}

// A protocol that records what reaches it.
struct RecordingProtocol : ProtocolBinding {
  std::vector<EthFrame> received;
  std::vector<NDIS_STATUS> completed;
  void receive(const NDIS_PACKET& packet) override {
    EthFrame frame;
    for (const NDIS_BUFFER* b = packet.Private.Head; b != nullptr; b = b->Next) {
      const auto* bytes = static_cast<const std::uint8_t*>(b->VirtualAddress);
      frame.insert(frame.end(), bytes, bytes + b->ByteCount);
    }
    received.push_back(frame);
  }
  void sendComplete(NDIS_PACKET*, NDIS_STATUS status) override { completed.push_back(status); }
};

TEST(NdisHost, ABoundProtocolSendsFromItsSlotsAndTheirCompletionsFreeThem) {
  TestAdapter a;
  std::vector<PNDIS_PACKET> queued;
  std::vector<EthFrame> seen;
  a.miniport.sendPackets = [&](PPNDIS_PACKET packets, UINT count) {
    for (UINT i = 0; i < count; ++i) {
      PNDIS_BUFFER buffer;
      UINT total = 0;
      NdisQueryPacket(packets[i], nullptr, nullptr, &buffer, &total);
      const auto* bytes = static_cast<const std::uint8_t*>(buffer->VirtualAddress);
      seen.emplace_back(bytes, bytes + total);
      queued.push_back(packets[i]);
    }
  };
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  RecordingProtocol protocol;
  a.host->bindProtocol(&protocol, 2, 64);
  ProtocolSends& sends = a.host->protocolSends();
  for (std::uint8_t fill : {0x11, 0x22}) {
    const std::span<std::uint8_t> room = sends.room();
    ASSERT_EQ(room.size(), 64u);
    std::fill_n(room.begin(), 20, fill);
    sends.commit(20);
  }
  EXPECT_TRUE(sends.room().empty());  // both slots are out
  a.host->sendProtocolBatch();
  ASSERT_EQ(queued.size(), 2u);  // in one call
  EXPECT_EQ(seen, (std::vector<EthFrame>{EthFrame(20, 0x11), EthFrame(20, 0x22)}));
  EXPECT_TRUE(sends.batch().empty());

  a.run(DISPATCH_LEVEL, [&] {
    NdisMSendComplete(a.miniport.adapter, queued[1], NDIS_STATUS_FAILURE);
    NdisMSendComplete(a.miniport.adapter, queued[1], NDIS_STATUS_SUCCESS);  // twice: spurious
  });
  EXPECT_EQ(protocol.completed, (std::vector<NDIS_STATUS>{NDIS_STATUS_FAILURE}));
  EXPECT_EQ(a.host->spurious().size(), 1u);
  EXPECT_EQ(sends.freeSlots(), 1u);
  EXPECT_TRUE(a.host->takeSendCompletions().empty());  // they were the protocol's, not the host's

  // Unbound with a send still out: its completion frees the slot and reaches nobody.
  a.host->bindProtocol(nullptr, 0, 0);
  a.run(DISPATCH_LEVEL, [&] { NdisMSendComplete(a.miniport.adapter, queued[0], NDIS_STATUS_SUCCESS); });
  EXPECT_EQ(protocol.completed.size(), 1u);
  EXPECT_EQ(sends.freeSlots(), 2u);
  a.host->halt();
  EXPECT_TRUE(a.host->leaks().empty()) << a.host->leaks().describe();
}

TEST(NdisHost, ABoundProtocolTakesReceivedFramesWhileTheyAreIndicated) {
  ReceiveFixture f;
  RecordingProtocol protocol;
  f.a.host->bindProtocol(&protocol, 1, 64);
  f.indicate(NDIS_STATUS_SUCCESS);
  EXPECT_EQ(protocol.received, (std::vector<EthFrame>{EthFrame(f.frame, f.frame + 20)}));
  EXPECT_TRUE(f.a.host->takeReceived().empty());
  f.a.scheduler.settle();
  EXPECT_EQ(f.returned, 1);  // given back by the return policy as before
  f.a.host->bindProtocol(nullptr, 0, 0);
  f.indicate(NDIS_STATUS_SUCCESS);
  EXPECT_EQ(f.a.host->takeReceived().size(), 1u);
  EXPECT_EQ(protocol.received.size(), 1u);
  f.a.host->halt();
  EXPECT_TRUE(f.a.host->violations().empty());
}

TEST(NdisHost, FailureRulesReachTheMiniportsErrorPaths) {
  TestAdapter a;
  a.host->setFailureRule(FailNth(RequestKind::Memory, 2));
  std::vector<NDIS_STATUS> results;
  a.miniport.initialize = [&] {
    for (int i = 0; i < 3; ++i) {
      PVOID p = nullptr;
      results.push_back(NdisAllocateMemoryWithTag(&p, 8, NdisTag("TEST")));
      if (p != nullptr) NdisFreeMemory(p, 8, 0);
    }
    return NDIS_STATUS_FAILURE;
  };
  EXPECT_EQ(a.host->initialize(), NDIS_STATUS_FAILURE);
  EXPECT_EQ(results, (std::vector<NDIS_STATUS>{NDIS_STATUS_SUCCESS, NDIS_STATUS_FAILURE, NDIS_STATUS_SUCCESS}));
  EXPECT_FALSE(a.host->running());
  EXPECT_TRUE(a.host->leaks().empty());
}

}  // namespace
}  // namespace ndis
