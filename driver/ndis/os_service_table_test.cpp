#include "driver/ndis/os_service_table.h"

#include <gtest/gtest.h>

#include "driver/ndis/os_class.h"
#include "driver/ndis/packet_reserved.h"
#include "driver/ndis/shell_test_doubles.h"
#include "driver/ndis/status_codes.h"
#include "platform/ndis/adapter_runtime.h"
#include "platform/ndis/test_miniport.h"

namespace {

using namespace std::chrono_literals;

// An OS layer on a running test adapter, outside the shell: the slots are tested alone.
struct OsFixture {
  shell_test::Layers layers;  // supplies the event poster
  ndis::testing::TestAdapter a;
  AdapterContainer container{};
  OsLayer* os = nullptr;

  explicit OsFixture(ndis::AdapterConfig config = {}) : a(config) {
    UseShellLinks(&layers.links);
    a.chip.setPciDword(0x00, 0x2D171E4D);
    a.chip.setPciDword(0x2C, 0x00011E4D);
    EXPECT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
    container.MiniportAdapterHandle = a.miniport.adapter;
    container.ConfigurationContext = a.miniport.configuration;
    run([&] { ASSERT_EQ(CreateOsLayer(&container, &os), StatusSuccess); });
  }
  ~OsFixture() { UseShellLinks(nullptr); }

  const OsServiceTable& t() const { return *os->Table; }
  void run(const std::function<void()>& body, KIRQL irql = PASSIVE_LEVEL) { a.run(irql, body); }
  void destroy() {
    run([&] { t().Destroy(os); });
  }
};

struct Element {
  ListLink link;
  int value;
};

std::vector<int> Values(ListLink* head) {
  std::vector<int> values;
  for (ListLink* l = head; l != nullptr; l = l->Next) values.push_back(reinterpret_cast<Element*>(l)->value);
  return values;
}

TEST(OsServiceTable, ListsKeepOrderCountAndTailForBothLinkPlacements) {
  OsFixture f;
  f.run([&] {
    LockedList list;
    f.t().InitList(&list);
    Element e[4] = {{{&e[1].link}, 1}, {{&e[2].link}, 2}, {{nullptr}, 3}, {{nullptr}, 4}};
    f.t().AppendChain(&list, &e[0].link);  // a chain of three onto an empty list
    EXPECT_EQ(list.Count, 3u);
    EXPECT_EQ(list.Tail, &e[2].link);
    f.t().AppendChain(&list, &e[3].link);
    EXPECT_EQ(Values(static_cast<ListLink*>(list.Head)), (std::vector<int>{1, 2, 3, 4}));
    for (int expected = 1; expected <= 4; ++expected) {
      ListLink* popped = f.t().PopHead(&list);
      ASSERT_NE(popped, nullptr);
      EXPECT_EQ(reinterpret_cast<Element*>(popped)->value, expected);
      EXPECT_EQ(popped->Next, nullptr);
    }
    EXPECT_EQ(f.t().PopHead(&list), nullptr);
    EXPECT_EQ(list.Tail, nullptr);
    EXPECT_EQ(list.Count, 0u);
    f.t().FreeList(&list);

    LockedList records;
    f.t().InitRecordList(&records);
    SendDescriptor d[2]{};
    f.t().AppendRecord(&records, &d[0]);
    f.t().AppendRecord(&records, &d[1]);
    EXPECT_EQ(records.Count, 2u);
    EXPECT_EQ(f.t().PopRecord(&records), &d[0]);
    EXPECT_EQ(f.t().PopRecord(&records), &d[1]);
    EXPECT_EQ(f.t().PopRecord(&records), nullptr);
    EXPECT_EQ(records.Tail, nullptr);
    f.t().FreeRecordList(&records);
  });
  f.destroy();
  EXPECT_TRUE(f.a.host->violations().empty());
}

TEST(OsServiceTable, AllocateChecksItsArgumentsAndZeroFills) {
  OsFixture f;
  f.run([&] {
    PVOID p = nullptr;
    SharedMemoryInfo info{};
    struct Case {
      PVOID* out;
      ULONG size, flags;
      SharedMemoryInfo* info;
      ULONG expected;
    };
    for (const Case& c : {Case{nullptr, 8, 0, nullptr, StatusBadArgument}, Case{&p, 0, 0, nullptr, StatusBadArgument},
                          Case{&p, 8, 2, nullptr, StatusBadArgument}, Case{&p, 8, 3, &info, StatusBadArgument},
                          Case{&p, 8, 1, nullptr, StatusBadArgument}}) {
      EXPECT_EQ(f.t().Allocate(f.os, c.out, c.size, c.flags, c.info), c.expected) << c.size << " " << c.flags;
    }
    ASSERT_EQ(f.t().Allocate(f.os, &p, 100, 0, nullptr), StatusSuccess);
    EXPECT_EQ(static_cast<UCHAR*>(p)[99], 0);
    f.t().Free(f.os, p, 100, 0, nullptr);
    ASSERT_EQ(f.t().Allocate(f.os, &p, 4096, kAllocateShared, &info), StatusSuccess);
    EXPECT_EQ(static_cast<UCHAR*>(p)[4095], 0);
    EXPECT_NE(info.Physical.LowPart, 0u);
    f.t().Free(f.os, p, 4096, kAllocateShared, &info);
    f.t().Free(f.os, nullptr, 8, 0, nullptr);  // nothing for a null pointer
  });
  f.a.host->setFailureRule(ndis::FailAll(ndis::RequestKind::SharedMemory));
  f.run([&] {
    PVOID p = nullptr;
    SharedMemoryInfo info{};
    EXPECT_EQ(f.t().Allocate(f.os, &p, 64, kAllocateShared, &info), StatusResources);
  });
  f.destroy();
  EXPECT_TRUE(f.a.host->leaks().empty()) << f.a.host->leaks().describe();
}

TEST(OsServiceTable, PacketPoolsRefuseAnEmptyOrTooLargePool) {
  OsFixture f;
  struct Case {
    ULONG count, overflow, expected;
  };
  f.run([&] {
    for (const Case& c : {Case{0, 10, StatusBadArgument}, Case{65000, 1000, StatusBadArgument},
                          Case{65000, 535, StatusSuccess}, Case{1, 0, StatusSuccess}}) {
      NDIS_HANDLE pool = reinterpret_cast<NDIS_HANDLE>(1);
      EXPECT_EQ(f.t().CreatePacketPool(f.os, &pool, c.count, c.overflow, 16), c.expected) << c.count;
      if (c.expected != StatusSuccess) {
        EXPECT_EQ(pool, nullptr);
      }
      f.t().FreePacketPool(f.os, pool);
    }
  });
  f.a.host->setFailureRule(ndis::FailAll(ndis::RequestKind::PacketPool));
  f.run([&] {
    NDIS_HANDLE pool;
    EXPECT_EQ(f.t().CreatePacketPool(f.os, &pool, 4, 0, 0), StatusResources);
  });
  f.destroy();
  EXPECT_TRUE(f.a.host->leaks().empty()) << f.a.host->leaks().describe();
}

TEST(OsServiceTable, QueryPacketFragmentsDescribesChainedBuffersOneNodePerBuffer) {
  OsFixture f;
  alignas(4096) static UCHAR data[8192];
  f.run([&] {
    ASSERT_EQ(CreateSendPathLists(f.os), StatusSuccess);
    NDIS_HANDLE pool, buffers;
    NDIS_STATUS status;
    PNDIS_PACKET packet;
    f.t().CreatePacketPool(f.os, &pool, 1, 0, 0);
    f.t().AllocatePacket(f.os, pool, &packet);
    NdisAllocateBufferPool(&status, &buffers, 3);
    const struct {
      UCHAR* at;
      UINT length;
    } pieces[] = {{data, 14}, {data + 4000, 200}, {data + 5000, 0}};  // the second crosses a page
    for (const auto& piece : pieces) {
      PNDIS_BUFFER buffer;
      NdisAllocateBuffer(&status, &buffer, buffers, piece.at, piece.length);
      NdisChainBufferAtBack(packet, buffer);
    }
    int owner;
    SendDescriptor* d = nullptr;
    ASSERT_EQ(f.t().QueryPacketFragments(f.os, packet, &owner, &d), StatusSuccess);
    EXPECT_EQ(d->Packet, packet);
    EXPECT_EQ(d->Owner, &owner);
    EXPECT_EQ(d->References, 1);
    EXPECT_EQ(d->TotalLength, 214u);
    EXPECT_EQ(d->FragmentCount, 3u);
    EXPECT_TRUE(packet->Private.ValidCounts);
    EXPECT_EQ(packet->Private.PhysicalCount, 4u);  // 1, 2 and the empty buffer's page
    EXPECT_EQ(packet->Private.Count, 3u);
    FragmentNode* node = d->Fragments;
    for (const auto& piece : pieces) {
      ASSERT_NE(node, nullptr);
      EXPECT_EQ(node->VirtualAddress, piece.at);
      EXPECT_EQ(node->Length, piece.length);
      node = NextFragment(node);
    }
    EXPECT_EQ(node, nullptr);
    EXPECT_EQ(f.os->FragmentNodes.Count, kFragmentNodeCount - 3);
    EXPECT_EQ(f.os->SendDescriptors.Count, kSendDescriptorCount - 1);

    // The core's transmit is done: descriptor and nodes go back, the packet to NDIS.
    f.t().CompleteSend(f.os, d, TRUE);
    EXPECT_EQ(f.os->FragmentNodes.Count, kFragmentNodeCount);
    EXPECT_EQ(f.os->SendDescriptors.Count, kSendDescriptorCount);
    EXPECT_EQ(f.a.host->spurious().size(), 1u);  // NDIS did not send it: the test made it
    for (PNDIS_BUFFER b = packet->Private.Head; b != nullptr;) {
      PNDIS_BUFFER next = b->Next;
      NdisFreeBuffer(b);
      b = next;
    }
    NdisFreeBufferPool(buffers);
    f.t().FreePacket(f.os, packet);
    f.t().FreePacketPool(f.os, pool);
  });
  f.destroy();  // frees the send-path lists too
  EXPECT_TRUE(f.a.host->leaks().empty()) << f.a.host->leaks().describe();
}

TEST(OsServiceTable, CompleteSendPostsEventsForRawFramesAndCompletesEverythingElse) {
  shell_test::ShellAdapter s;
  s.layers.transmitPulls = false;
  ASSERT_EQ(s.host->initialize(), NDIS_STATUS_SUCCESS);
  OsLayer* os = s.context()->Container->Os;
  struct Case {
    ULONG tag;
    bool raw;
  };
  const Case cases[] = {{0x87654300, true}, {0x876543FF, true}, {0x876542FF, false}, {0x87654400, false}};
  LockedList rawFrames;
  s.host->runtime().callDriver(DISPATCH_LEVEL, "init", [&] {
    os->Table->InitList(&rawFrames);
    os->RawFramePackets = &rawFrames;
  });
  for (const Case& c : cases) {
    const auto ids = s.host->send({ndis::EthFrame(60, 9)});
    s.host->runtime().callDriver(DISPATCH_LEVEL, "take", [&] { ASSERT_TRUE(TakePendingSend(s.context())); });
    SendDescriptor* d = s.layers.sent.back();
    PNDIS_PACKET packet = d->Packet;
    ReservedOf(packet)->Raw.OwnerTag = c.tag;
    ReservedOf(packet)->Raw.RequestTag = 0x1234;
    s.layers.events.clear();
    s.host->runtime().callDriver(DISPATCH_LEVEL, "done", [&] { os->Table->CompleteSend(os, d, FALSE); });
    const auto completions = s.host->takeSendCompletions();
    if (c.raw) {
      EXPECT_TRUE(completions.empty()) << std::hex << c.tag;
      ASSERT_EQ(s.layers.events.size(), 1u);
      EXPECT_EQ(s.layers.events[0].first, 133u);
      EXPECT_EQ(s.layers.events[0].second, (std::vector<UCHAR>{0x34, 0x12}));
      // Back on the raw-frame list; the test takes it off and hands it back to the host.
      s.host->runtime().callDriver(DISPATCH_LEVEL, "take back", [&] {
        EXPECT_EQ(PacketOfLink(os->Table->PopHead(&rawFrames)), packet);
        ReservedOf(packet)->Raw.OwnerTag = 0;
        NdisMSendComplete(s.context()->AdapterHandle, packet, NDIS_STATUS_SUCCESS);
      });
      s.host->takeSendCompletions();
    } else {
      EXPECT_EQ(completions, (std::vector<ndis::SendCompletion>{{ids[0], NDIS_STATUS_SUCCESS}})) << std::hex << c.tag;
      EXPECT_TRUE(s.layers.events.empty());
    }
  }
  EXPECT_EQ(rawFrames.Count, 0u);
  s.host->halt();
  EXPECT_TRUE(s.host->leaks().empty()) << s.host->leaks().describe();
}

struct TimerHits {
  std::vector<ndis::Micros> at;
  ndis::Scheduler* scheduler;
};

TEST(OsServiceTable, TimersFireThroughTheTrampolineInVirtualTime) {
  OsFixture f;
  TimerHits hits{{}, &f.a.scheduler};
  NDIS_MINIPORT_TIMER ndisTimer;
  OsTimerRecord record{nullptr, &ndisTimer, [](OsTimerRecord* r) {
                         auto* h = static_cast<TimerHits*>(r->Context);
                         h->at.push_back(h->scheduler->now());
                       },
                       100, 0, &hits};
  f.run([&] {
    EXPECT_EQ(f.t().InitTimer(f.os, nullptr), StatusBadArgument);
    OsTimerRecord noTimer{};
    EXPECT_EQ(f.t().InitTimer(f.os, &noTimer), StatusBadArgument);
    ASSERT_EQ(f.t().InitTimer(f.os, &record), StatusSuccess);
    f.t().SetTimer(f.os, &record);
  });
  f.a.scheduler.runFor(150ms);
  EXPECT_EQ(hits.at, (std::vector<ndis::Micros>{100ms}));
  record.Periodic = 1;
  record.PeriodMs = 40;
  f.run([&] { f.t().SetTimer(f.os, &record); });
  f.a.scheduler.runFor(100ms);
  EXPECT_EQ(hits.at, (std::vector<ndis::Micros>{100ms, 190ms, 230ms}));
  f.run([&] {
    EXPECT_TRUE(f.t().CancelTimer(f.os, &record));
    EXPECT_FALSE(f.t().CancelTimer(f.os, &record));
    f.t().ClearTimer(f.os, &record);
    f.t().SetTimer(f.os, &record);  // a cleared record arms nothing
    ULONG uptime = f.t().GetUptimeMs(f.os);
    EXPECT_EQ(uptime, 250u);
  });
  f.a.scheduler.runFor(100ms);
  EXPECT_EQ(hits.at.size(), 3u);
  f.destroy();
  EXPECT_TRUE(f.a.host->leaks().empty()) << f.a.host->leaks().describe();
}

struct ResourceCase {
  const char* name;
  std::uint8_t wdmMinor;     // OS class 4 (0x20) or 2 (0x05)
  bool interruptOnly;
  std::size_t pciReadLimit;  // 256: whole reads
  bool mapFails;
  ULONG expected;
  ULONG windows;
};

class AdapterResourcesTest : public ::testing::TestWithParam<ResourceCase> {};

TEST_P(AdapterResourcesTest, ClaimsWhatTheListOrTheBarsGiveAndReleasesEverythingOnFailure) {
  const ResourceCase& c = GetParam();
  ndis::AdapterConfig config;
  config.wdmMinor = c.wdmMinor;
  config.resourcesInterruptOnly = c.interruptOnly;
  OsFixture f(config);
  CacheOsClass(c.wdmMinor == 0x20 ? 4 : 2);
  if (c.mapFails) f.a.host->setFailureRule(ndis::FailNth(ndis::RequestKind::MapIoSpace, 2));
  f.a.chip.setPciReadLimit(c.pciReadLimit);
  AdapterResources* resources = nullptr;
  f.run([&] { EXPECT_EQ(f.t().GetAdapterResources(f.os, &resources), c.expected); });
  if (c.expected == StatusSuccess) {
    ASSERT_NE(resources, nullptr);
    EXPECT_EQ(resources->VendorId, 0x1E4D);
    EXPECT_EQ(resources->DeviceId, 0x2D17);
    EXPECT_EQ(resources->SubsystemId, 0x00011E4Du);
    EXPECT_TRUE(resources->InterruptRegistered);
    EXPECT_EQ(resources->InterruptVector, 11u);
    EXPECT_EQ(resources->WindowCount, c.windows);
    if (c.windows == 2) {
      EXPECT_EQ(resources->Windows[1].Physical.QuadPart, 0xF0010000);
      // Registers of window 1 reach the chip's window 1.
      f.run([&] {
        WRITE_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(static_cast<UCHAR*>(resources->Windows[1].Virtual) + 0xC34),
                             0x7F);
      });
      EXPECT_EQ(f.a.chip.peek(1, 0xC34), 0x7Fu);
    }
    f.run([&] { resources->Release(resources); });
  } else {
    EXPECT_EQ(resources, nullptr);
  }
  f.destroy();
  EXPECT_TRUE(f.a.host->leaks().empty()) << f.a.host->leaks().describe();
  EXPECT_TRUE(f.a.host->violations().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AdapterResourcesTest,
    ::testing::Values(ResourceCase{"FromTheList", 0x20, false, 256, false, StatusSuccess, 2},
                      ResourceCase{"FromTheBarsOnOlderSystems", 0x05, true, 256, false, StatusSuccess, 2},
                      ResourceCase{"NoBarsOnNewerSystems", 0x20, true, 256, false, StatusSuccess, 0},
                      ResourceCase{"ShortPciRead", 0x20, false, 2, false, StatusAdapterNotFound, 0},
                      ResourceCase{"MappingFails", 0x20, false, 256, true, StatusResources, 0}),
    [](const auto& info) { return info.param.name; });

TEST(OsServiceTable, PciReadsMustReturnTheWholeLengthAndIndicateReceiveNeedsADescriptor) {
  OsFixture f;
  f.run([&] {
    ULONG value = 0;
    EXPECT_EQ(f.t().ReadPciConfig(f.os, 0, &value, 4), StatusSuccess);
    EXPECT_EQ(value, 0x2D171E4Du);
    EXPECT_EQ(f.t().ReadPciConfig(f.os, 254, &value, 4), StatusInvalidLength);
    EXPECT_EQ(f.t().IndicateReceive(f.os, nullptr), StatusBadArgument);
  });
  f.destroy();
}

}  // namespace
