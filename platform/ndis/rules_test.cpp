// The rules the runtime holds a miniport to: each case breaks one and must be reported.
#include <gtest/gtest.h>

#include "platform/ndis/test_miniport.h"

namespace ndis {
namespace {

using testing::TestAdapter;

struct RuleCase {
  const char* name;
  KIRQL irql;
  std::function<void(TestAdapter&)> body;
  const char* reported;
};

// Printed by name: the struct's padding holds bytes nobody wrote.
void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.name; }

class RuntimeRules : public ::testing::TestWithParam<RuleCase> {};

TEST_P(RuntimeRules, AreReportedAsViolations) {
  TestAdapter a;
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  a.run(GetParam().irql, [&] { GetParam().body(a); });
  ASSERT_FALSE(a.host->violations().empty());
  EXPECT_NE(a.host->violations()[0].find(GetParam().reported), std::string::npos) << a.host->violations()[0];
}

NDIS_SPIN_LOCK g_lock;
NDIS_MINIPORT_TIMER g_timer;

INSTANTIATE_TEST_SUITE_P(
    Cases, RuntimeRules,
    ::testing::Values(
        RuleCase{"SleepAtDispatch", DISPATCH_LEVEL, [](TestAdapter&) { NdisMSleep(10); }, "NdisMSleep called at IRQL 2"},
        RuleCase{"SharedMemoryAtDispatch", DISPATCH_LEVEL,
                 [](TestAdapter& a) {
                   PVOID v;
                   NDIS_PHYSICAL_ADDRESS p;
                   NdisMAllocateSharedMemory(a.miniport.adapter, 64, FALSE, &v, &p);
                   NdisMFreeSharedMemory(a.miniport.adapter, 64, FALSE, v, p);
                 },
                 "NdisMAllocateSharedMemory called at IRQL 2"},
        RuleCase{"PoolMemoryInTheIsr", DIRQL_LEVEL,
                 [](TestAdapter&) {
                   PVOID v;
                   NdisAllocateMemoryWithTag(&v, 8, NdisTag("ISR "));
                 },
                 "NdisAllocateMemoryWithTag called at IRQL 11"},
        RuleCase{"SpinLockTakenTwice", PASSIVE_LEVEL,
                 [](TestAdapter&) {
                   NdisAllocateSpinLock(&g_lock);
                   NdisAcquireSpinLock(&g_lock);
                   NdisAcquireSpinLock(&g_lock);
                   NdisReleaseSpinLock(&g_lock);
                 },
                 "already holds (deadlock)"},
        RuleCase{"SpinLockReleasedUnheld", PASSIVE_LEVEL,
                 [](TestAdapter&) {
                   NdisAllocateSpinLock(&g_lock);
                   NdisReleaseSpinLock(&g_lock);
                 },
                 "not held"},
        RuleCase{"HandlerReturnsHoldingALock", PASSIVE_LEVEL,
                 [](TestAdapter&) {
                   NdisAllocateSpinLock(&g_lock);
                   NdisAcquireSpinLock(&g_lock);
                 },
                 "returned at IRQL 2 instead of 0"},
        RuleCase{"FreeWithTheWrongLength", PASSIVE_LEVEL,
                 [](TestAdapter&) {
                   PVOID v;
                   NdisAllocateMemoryWithTag(&v, 16, NdisTag("LEN "));
                   NdisFreeMemory(v, 8, 0);
                 },
                 "length other than the allocation's"},
        RuleCase{"DoubleFree", PASSIVE_LEVEL,
                 [](TestAdapter&) {
                   PVOID v;
                   NdisAllocateMemoryWithTag(&v, 16, NdisTag("TWCE"));
                   NdisFreeMemory(v, 16, 0);
                   NdisFreeMemory(v, 16, 0);
                 },
                 "not allocated"},
        // Pools keep what is freed for the next allocation; freeing it again is still caught.
        RuleCase{"PacketFreedTwice", DISPATCH_LEVEL,
                 [](TestAdapter&) {
                   NDIS_STATUS s;
                   NDIS_HANDLE pool;
                   PNDIS_PACKET packet;
                   NdisAllocatePacketPoolEx(&s, &pool, 2, 0, 0);
                   NdisAllocatePacket(&s, &packet, pool);
                   NdisFreePacket(packet);
                   NdisFreePacket(packet);
                   NdisFreePacketPool(pool);
                 },
                 "NdisFreePacket on a packet that is not allocated"},
        RuleCase{"BufferFreedTwice", DISPATCH_LEVEL,
                 [](TestAdapter&) {
                   NDIS_STATUS s;
                   NDIS_HANDLE pool;
                   PNDIS_BUFFER buffer;
                   UCHAR bytes[4];
                   NdisAllocateBufferPool(&s, &pool, 2);
                   NdisAllocateBuffer(&s, &buffer, pool, bytes, sizeof bytes);
                   NdisFreeBuffer(buffer);
                   NdisFreeBuffer(buffer);
                   NdisFreeBufferPool(pool);
                 },
                 "NdisFreeBuffer on a buffer that is not allocated"},
        RuleCase{"FreeingAnArmedTimer", PASSIVE_LEVEL,
                 [](TestAdapter& a) {
                   PVOID v;
                   NdisAllocateMemoryWithTag(&v, sizeof(NDIS_MINIPORT_TIMER), NdisTag("TIMR"));
                   auto* timer = static_cast<NDIS_MINIPORT_TIMER*>(v);
                   NdisMInitializeTimer(timer, a.miniport.adapter, [](PVOID, PVOID, PVOID, PVOID) {}, nullptr);
                   NdisMSetTimer(timer, 100);
                   NdisFreeMemory(v, sizeof(NDIS_MINIPORT_TIMER), 0);
                 },
                 "releases memory that holds an armed timer"},
        RuleCase{"TimerNeverInitialized", PASSIVE_LEVEL,
                 [](TestAdapter&) {
                   NDIS_MINIPORT_TIMER timer{};
                   g_timer = timer;
                   NdisMSetTimer(&g_timer, 5);
                 },
                 "did not set up"}),
    [](const auto& info) { return info.param.name; });

TEST(RuntimeMemory, FreshMemoryIsPoisonedSoMissingInitialisationShows) {
  TestAdapter a;
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  a.run(PASSIVE_LEVEL, [&] {
    PVOID v;
    ASSERT_EQ(NdisAllocateMemoryWithTag(&v, 32, NdisTag("PSN ")), NDIS_STATUS_SUCCESS);
    EXPECT_EQ(static_cast<UCHAR*>(v)[0], 0xCD);
    EXPECT_EQ(static_cast<UCHAR*>(v)[31], 0xCD);
    PVOID shared;
    NDIS_PHYSICAL_ADDRESS physical;
    NdisMAllocateSharedMemory(a.miniport.adapter, 100, FALSE, &shared, &physical);
    EXPECT_EQ(static_cast<UCHAR*>(shared)[99], 0xCD);
    EXPECT_NE(physical.LowPart, 0u);
    EXPECT_EQ(physical.HighPart, 0);
    NdisMFreeSharedMemory(a.miniport.adapter, 100, FALSE, shared, physical);
    NdisFreeMemory(v, 32, 0);
  });
  EXPECT_TRUE(a.host->violations().empty());
}

}  // namespace
}  // namespace ndis
