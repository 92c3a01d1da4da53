// Frames through the chip layer's rings with the simulated chip in zero-latency loopback:
// each iteration the transmit service puts 8 frames into the transmit ring, the chip walks
// it onto an air that hands every frame straight back, the chip writes them into the
// receive ring, and the receive round hands them to the core (a double that gives each
// record back at once). Counters: frames per second of the driver's transmit path (frame
// to ring, completion) and receive path (ring to the core's Receive), and the allocations
// per frame inside those paths (must be 0: the driver allocates nothing per frame; the
// simulated chip and air do, and are not counted). The NDIS stand-in checks spin locks by
// keeping the held ones in a set, one node per acquisition; a kernel's spin lock allocates
// nothing, so those nodes are counted apart (stand_in_lock_allocs_per_frame). The anchor in
// the same run is a plain
// memcpy of the same frame bytes in both directions; the ratio is loop time / memcpy time.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <set>

#include "bench/allocation_counter.h"
#include "bench/best_times_reporter.h"
#include "driver/hal/hal_adapter.h"
#include "driver/hal/testing/hal_harness.h"
#include "sim/chip/chip_registers.h"
#include "sim/chip/testing/recording_air.h"

namespace {


}  // namespace

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
constexpr std::size_t kBatch = 8;  // below the 10 of one transmit pass
const std::size_t kSizes[] = {64, 576, 1500};

// A data frame to the broadcast address in chip layout with `body` bytes.
std::vector<std::uint8_t> ChipFrame(std::size_t body) {
  std::vector<std::uint8_t> f(32 + body, 0x5A);
  f[0] = static_cast<std::uint8_t>(body);
  f[1] = static_cast<std::uint8_t>(body >> 8);
  f[2] = 0x08, f[3] = 0x02;
  std::memset(&f[6], 0xFF, 6);
  return f;
}

struct Loopback {
  Loopback() {
    harness.start();
    harness.scheduler.runFor(20ms);
    air.record = false;
    air.onTransmit = [this](simair::Radio& from, const simair::AirFrame& frame) {
      simchip::testing::RecordingAir::deliver(from, frame.bytes, -40, frame.rateHalfMbps);
    };
    harness.chip.attachAir(air);
    harness.core.keepFrames = false;
    // The bench runs the deferred work itself: no interrupt, so nothing of the runtime's
    // own runs inside the counted paths.
    harness.chip.writeRegister(1, simchip::kRegMask, ndis::AccessWidth::U32, 0);
  }
  simchip::testing::RecordingAir air;  // outlives the chip, which leaves it when it goes
  zelnic::hal::testing::HalHarness harness;
};

std::unique_ptr<Loopback> loopback;  // one adapter for every run; gone before main returns

template <typename Body>
double CountedNanos(Body body) {
  const auto start = Clock::now();
  g_counting = true;
  body();
  g_counting = false;
  return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

void RingLoopback(benchmark::State& state) {
  const auto body = static_cast<std::size_t>(state.range(0));
  if (!loopback) loopback = std::make_unique<Loopback>();
  auto& h = loopback->harness;
  HalAdapter* hal = h.hal();
  const auto frame = ChipFrame(body);
  double txNanos = 0, rxNanos = 0;
  g_allocations = 0;
  const std::size_t receivedBefore = h.core.receivedCount;
  for (auto _ : state) {
    for (std::size_t i = 0; i < kBatch; ++i) h.core.managementQueue.push_back(frame);
    h.knobs().holdTransmit = true;  // the doorbell only rings: the chip walks below
    h.run(DISPATCH_LEVEL, [&] { txNanos += CountedNanos([&] { zelnic::hal::RunTransmitService(hal); }); });
    h.knobs().holdTransmit = false;
    h.chip.writeRegister(1, simchip::kRegDoorbell, ndis::AccessWidth::U32, simchip::kDoorbellTransmit);
    h.scheduler.settle();  // zero latency: the walk, the air and the receive writes
    h.run(DISPATCH_LEVEL, [&] {
      txNanos += CountedNanos([&] { zelnic::hal::TransmitComplete(hal); });
      rxNanos += CountedNanos([&] { zelnic::hal::HalReceiveComplete(hal); });
    });
    h.chip.writeRegister(1, simchip::kRegCause, ndis::AccessWidth::U32, 0);
  }
  const double frames = static_cast<double>(state.iterations() * kBatch);
  if (h.core.receivedCount - receivedBefore != state.iterations() * kBatch) state.SkipWithError("frames lost");
  state.SetItemsProcessed(static_cast<std::int64_t>(frames));
  state.counters["tx_frames_per_s"] = frames / (txNanos * 1e-9);
  state.counters["rx_frames_per_s"] = frames / (rxNanos * 1e-9);
  state.counters["driver_allocs_per_frame"] = static_cast<double>(g_allocations.load()) / frames;
}

// The anchor: the same frame bytes copied into a ring buffer and out again.
void MemcpyAnchor(benchmark::State& state) {
  const auto body = static_cast<std::size_t>(state.range(0));
  const auto frame = ChipFrame(body);
  std::vector<std::uint8_t> ring(kBatch * 2032), out(kBatch * 2032);
  for (auto _ : state) {
    for (std::size_t i = 0; i < kBatch; ++i) std::memcpy(&ring[i * 2032], frame.data(), frame.size());
    benchmark::ClobberMemory();
    for (std::size_t i = 0; i < kBatch; ++i) std::memcpy(&out[i * 2032], &ring[i * 2032], frame.size());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kBatch));
}

BENCHMARK(RingLoopback)->Arg(64)->Arg(576)->Arg(1500);
BENCHMARK(MemcpyAnchor)->Arg(64)->Arg(576)->Arg(1500);

void PrintRatios(const BestTimesReporter& reporter) {
  std::printf("\nloopback/memcpy time ratio per batch of %zu frames\n", kBatch);
  for (std::size_t size : kSizes) {
    const auto ratio = reporter.ratio("RingLoopback/" + std::to_string(size), "MemcpyAnchor/" + std::to_string(size));
    if (ratio) std::printf("ratio %5zu B: %.1f\n", size, *ratio);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  BestTimesReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintRatios(reporter);
  loopback.reset();
  return FinishBenchmarks(reporter);
}
