// The path between a miniport and its chip: resources, mapped windows, PCI space and the
// interrupt with its deferred handler.
#include <gtest/gtest.h>

#include "platform/ndis/test_miniport.h"

namespace ndis {
namespace {

using testing::TestAdapter;

std::vector<CM_PARTIAL_RESOURCE_DESCRIPTOR> QueryResources(TestAdapter& a) {
  std::vector<std::uint8_t> storage(512);
  auto* list = reinterpret_cast<NDIS_RESOURCE_LIST*>(storage.data());
  std::vector<CM_PARTIAL_RESOURCE_DESCRIPTOR> result;
  a.run(PASSIVE_LEVEL, [&] {
    NDIS_STATUS status;
    UINT size = 8;  // too small: tells the size needed
    NdisMQueryAdapterResources(&status, a.miniport.configuration, list, &size);
    EXPECT_EQ(status, NDIS_STATUS_RESOURCES);
    EXPECT_GT(size, 8u);
    NdisMQueryAdapterResources(&status, a.miniport.configuration, list, &size);
    ASSERT_EQ(status, NDIS_STATUS_SUCCESS);
    result.assign(list->PartialDescriptors, list->PartialDescriptors + list->Count);
  });
  return result;
}

TEST(DevicePath, ResourceListHoldsTheInterruptAndTheWindowsUnlessInterruptOnly) {
  TestAdapter full;
  ASSERT_EQ(full.host->initialize(), NDIS_STATUS_SUCCESS);
  auto list = QueryResources(full);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].Type, CmResourceTypeInterrupt);
  EXPECT_EQ(list[0].u.Interrupt.Vector, 11u);
  EXPECT_EQ(list[1].Type, CmResourceTypeMemory);
  EXPECT_EQ(list[1].u.Memory.Start.QuadPart, 0xF0000000);
  EXPECT_EQ(list[2].u.Memory.Start.QuadPart, 0xF0010000);
  EXPECT_EQ(list[2].u.Memory.Length, 0x10000u);

  AdapterConfig config;
  config.resourcesInterruptOnly = true;
  TestAdapter bare(config);
  ASSERT_EQ(bare.host->initialize(), NDIS_STATUS_SUCCESS);
  EXPECT_EQ(QueryResources(bare).size(), 1u);
}

TEST(DevicePath, RegistersOfAMappedWindowReachTheChipByWindowOffsetAndWidth) {
  TestAdapter a;
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  a.chip.setPciDword(0, 0x2D171E4D);
  a.chip.poke(1, 0xC30, 0x11223344);
  a.run(PASSIVE_LEVEL, [&] {
    PVOID window = nullptr;
    NDIS_PHYSICAL_ADDRESS physical{};
    physical.QuadPart = 0xF0010000 + 0x1000;  // part of window 1
    ASSERT_EQ(NdisMMapIoSpace(&window, a.miniport.adapter, physical, 0x1000), NDIS_STATUS_SUCCESS);
    auto* base = static_cast<volatile UCHAR*>(window);
    EXPECT_EQ(READ_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(base + 0x30)), 0u);
    WRITE_REGISTER_USHORT(reinterpret_cast<volatile USHORT*>(base + 0x34), 0x7F);
    WRITE_REGISTER_UCHAR(base + 0x38, 0xAB);

    PVOID outside = nullptr;
    physical.QuadPart = 0xF0020000;  // in no window
    EXPECT_EQ(NdisMMapIoSpace(&outside, a.miniport.adapter, physical, 4), NDIS_STATUS_FAILURE);
    physical.QuadPart = 0xF000FFF0;  // runs past window 0
    EXPECT_EQ(NdisMMapIoSpace(&outside, a.miniport.adapter, physical, 0x20), NDIS_STATUS_FAILURE);

    ULONG ids = 0;
    EXPECT_EQ(NdisReadPciSlotInformation(a.miniport.adapter, 0, 0, &ids, 4), 4u);
    EXPECT_EQ(ids, 0x2D171E4Du);
    a.chip.setPciReadLimit(2);
    EXPECT_EQ(NdisReadPciSlotInformation(a.miniport.adapter, 0, 0x2C, &ids, 4), 2u);
    NdisMUnmapIoSpace(a.miniport.adapter, window, 0x1000);
  });
  using W = AccessWidth;
  EXPECT_EQ(a.chip.accesses(), (std::vector<RegisterFileChip::Access>{{false, 1, 0x1030, W::U32, 0},
                                                                       {true, 1, 0x1034, W::U16, 0x7F},
                                                                       {true, 1, 0x1038, W::U8, 0xAB}}));
  EXPECT_EQ(a.host->leaks().mappedWindows, 0u);
}

// A chip whose interrupt cause register (window 0, offset 0) raises the line while it
// is non-zero and the mask (offset 4) lets it through.
struct InterruptFixture {
  TestAdapter a;
  NDIS_MINIPORT_INTERRUPT interrupt{};
  PVOID window = nullptr;
  std::vector<std::string> log;

  void updateLine() { a.chip.bus()->setInterruptLine((a.chip.peek(0, 0) & a.chip.peek(0, 4)) != 0); }
  volatile ULONG* reg(std::uint32_t offset) {
    return reinterpret_cast<volatile ULONG*>(static_cast<UCHAR*>(window) + offset);
  }

  InterruptFixture() {
    a.chip.onWrite = [this](const RegisterFileChip::Access&) { updateLine(); };
    a.miniport.initialize = [this] {
      NDIS_PHYSICAL_ADDRESS bar{};
      bar.QuadPart = 0xF0000000;
      EXPECT_EQ(NdisMMapIoSpace(&window, a.miniport.adapter, bar, 0x100), NDIS_STATUS_SUCCESS);
      return NdisMRegisterInterrupt(&interrupt, a.miniport.adapter, 11, 11, TRUE, TRUE, NdisInterruptLevelSensitive);
    };
    a.miniport.isr = [this](PBOOLEAN recognized, PBOOLEAN queue) {
      EXPECT_EQ(KeGetCurrentIrql(), DIRQL_LEVEL);
      const ULONG cause = READ_REGISTER_ULONG(reg(0));
      log.push_back("isr " + std::to_string(cause));
      *recognized = *queue = cause != 0 ? TRUE : FALSE;
      if (cause != 0) WRITE_REGISTER_ULONG(reg(4), 0);  // mask until the deferred handler is done
    };
    a.miniport.handleInterrupt = [this] {
      log.push_back("deferred");
      WRITE_REGISTER_ULONG(reg(0), 0);  // acknowledge
    };
    a.miniport.enableInterrupt = [this] {
      log.push_back("enable");
      WRITE_REGISTER_ULONG(reg(4), 0xFF);
    };
    a.miniport.halt = [this] {
      NdisMDeregisterInterrupt(&interrupt);
      NdisMUnmapIoSpace(a.miniport.adapter, window, 0x100);
    };
    a.chip.poke(0, 4, 0xFF);
  }

  void raise(std::uint32_t cause, Micros at) {
    a.chip.bus()->scheduleChipEvent(at, "cause", [this, cause] {
      a.chip.poke(0, 0, a.chip.peek(0, 0) | cause);
      updateLine();
    });
  }
};

TEST(DevicePath, AnInterruptRunsTheIsrThenTheDeferredHandlerThenTheEnableHandler) {
  InterruptFixture f;
  f.raise(0x4, 0us);  // pending before the interrupt is registered: served once it is
  ASSERT_EQ(f.a.host->initialize(), NDIS_STATUS_SUCCESS);
  f.a.scheduler.settle();
  EXPECT_EQ(f.log, (std::vector<std::string>{"isr 4", "deferred", "enable"}));

  f.log.clear();
  f.a.chip.onWrite = [&](const RegisterFileChip::Access& access) {
    // A second cause arrives while the deferred handler acknowledges the first: the line
    // is still up when interrupts are enabled again, so the ISR runs again.
    if (access.write && access.offset == 0 && f.log.size() == 2) f.a.chip.poke(0, 0, 0x1);
    f.updateLine();
  };
  f.raise(0x2, 1ms);
  f.a.scheduler.runFor(2ms);
  EXPECT_EQ(f.log, (std::vector<std::string>{"isr 2", "deferred", "enable", "isr 1", "deferred", "enable"}));
  f.a.host->halt();
  EXPECT_TRUE(f.a.host->leaks().empty()) << f.a.host->leaks().describe();
  EXPECT_TRUE(f.a.host->violations().empty());
}

TEST(DevicePath, AnInterruptTheIsrDoesNotClaimIsCountedAndWaitsForTheNextEdge) {
  InterruptFixture f;
  ASSERT_EQ(f.a.host->initialize(), NDIS_STATUS_SUCCESS);
  f.a.miniport.isr = [&](PBOOLEAN recognized, PBOOLEAN queue) {
    f.log.push_back("isr");
    *recognized = *queue = FALSE;
  };
  f.raise(0x8, 0us);
  f.a.scheduler.runFor(1ms);
  EXPECT_EQ(f.log, (std::vector<std::string>{"isr"}));
  EXPECT_EQ(f.a.host->unclaimedInterrupts(), 1u);
}

TEST(DevicePath, SynchronizeWithInterruptRunsAtTheInterruptsIrql) {
  InterruptFixture f;
  ASSERT_EQ(f.a.host->initialize(), NDIS_STATUS_SUCCESS);
  KIRQL seen = PASSIVE_LEVEL;
  f.a.run(DISPATCH_LEVEL, [&] {
    const BOOLEAN result = NdisMSynchronizeWithInterrupt(
        &f.interrupt,
        reinterpret_cast<PVOID>(+[](PVOID context) -> BOOLEAN {
          *static_cast<KIRQL*>(context) = KeGetCurrentIrql();
          return TRUE;
        }),
        &seen);
    EXPECT_TRUE(result);
    EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
  });
  EXPECT_EQ(seen, DIRQL_LEVEL);
}

TEST(DevicePath, DeviceDmaReachesSharedMemoryByItsPhysicalAddressOnly) {
  TestAdapter a;
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  PVOID shared = nullptr;
  NDIS_PHYSICAL_ADDRESS physical{};
  a.run(PASSIVE_LEVEL, [&] { NdisMAllocateSharedMemory(a.miniport.adapter, 256, FALSE, &shared, &physical); });
  const std::uint8_t word[4] = {0x55, 0xAA, 0x55, 0xAA};
  EXPECT_TRUE(a.chip.bus()->dmaWrite(physical.LowPart + 252, word));
  EXPECT_EQ(static_cast<UCHAR*>(shared)[255], 0xAA);
  EXPECT_FALSE(a.chip.bus()->dmaWrite(physical.LowPart + 253, word));  // one byte too far
  EXPECT_EQ(a.host->violations().size(), 1u);
  a.run(PASSIVE_LEVEL, [&] { NdisMFreeSharedMemory(a.miniport.adapter, 256, FALSE, shared, physical); });
}

}  // namespace
}  // namespace ndis
