// TCP through the TAP path (the adapter's TAP, zelnicd's daemon with the driver, the simulated
// air in real time, the access point's distribution port, its TAP) on the open network and on
// the WPA2-Personal one (joined through the adapter-control library with libpentrel.so: the
// driver's CCMP and the access point's), beside its anchor measured in the same run: the same
// transfer between the same two network namespaces through two TAPs joined by one thread that
// copies frames, no driver. Root only.
//
// The daemon (zelnicd's RunDaemon, the driver's own entry) runs on a thread of this process,
// so the times are this process's CPU time over the transfer: every thread of both sides, the
// TCP sender and receiver with the kernel's TCP and TAP work done on them, and the daemon's
// thread or the anchor's copier. Allocations are counted on the daemon's thread: those made
// while its executor runs an event of the simulated chip or air are the simulation's, the rest
// (the driver's events, the NDIS runtime, the TAP serving in the daemon's loop) the path's.
#include <benchmark/benchmark.h>
#include <ifaddrs.h>
#include <linux/if_link.h>
#include <net/if.h>
#include <pthread.h>
#include <time.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "bench/allocation_counter.h"
#include "bench/best_times_reporter.h"
#include "bench/cpu_instructions.h"
#include "hosts/zelnicd/station/library_station.h"
#include "tests/linux_traffic/daemon_tap_path.h"
#include "tests/linux_traffic/tap_paths.h"

namespace {

constexpr std::size_t kBytes = 4 << 20;
constexpr char kStationTap[] = "zt0";

// The names the reporter gives the three cases.
constexpr char kRaw[] = "BM_TcpThroughRawTapPair/iterations:5/manual_time";
constexpr char kOpen[] = "BM_TcpThroughDriverTap/iterations:5/manual_time";
constexpr char kCcmp[] = "BM_TcpThroughDriverTapCcmp/iterations:5/manual_time";

std::atomic<const ndis::Scheduler*> g_executor{nullptr};  // set by the main thread, read by the daemon's
clockid_t g_daemonClock{};  // the daemon thread's CPU clock

// An allocation the simulated chip or air makes in one of its own events.
bool MadeBySimulation() {
  const ndis::Scheduler* executor = g_executor.load(std::memory_order_relaxed);
  if (executor == nullptr || !executor->running()) return false;
  const ndis::EventKind kind = executor->currentKind();
  return kind == ndis::EventKind::Chip || kind == ndis::EventKind::Air;
}

double CpuSeconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Frames through the station's TAP, both ways, as its namespace counts them.
std::uint64_t StationTapFrames(linux_traffic::TapPath& path) {
  return path.station().RunInside([] {
    std::uint64_t frames = 0;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return frames;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
      if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_PACKET || entry->ifa_data == nullptr ||
          std::strcmp(entry->ifa_name, kStationTap) != 0) {
        continue;
      }
      const auto* stats = static_cast<const rtnl_link_stats*>(entry->ifa_data);
      frames = stats->tx_packets + stats->rx_packets;
    }
    freeifaddrs(list);
    return frames;
  });
}

struct Allocations {
  std::uint64_t path = 0;        // driver, NDIS runtime, TAP serving
  std::uint64_t simulation = 0;  // the simulated chip and air
  std::uint64_t frames = 0;
};
std::map<std::string, Allocations> g_allocationsByCase;

void Transfer(benchmark::State& state, linux_traffic::TapPath& path, const std::string& name) {
  std::uint64_t frames = 0;
  g_allocations = 0;
  g_apart = 0;
  double daemon = 0;
  for (auto _ : state) {
    const std::uint64_t framesBefore = StationTapFrames(path);
    const double before = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    const double daemonBefore = g_executor != nullptr ? CpuSeconds(g_daemonClock) : 0;
    g_counting = true;
    const linux_traffic::Transfer t = linux_traffic::TcpTransfer(path, kBytes);
    g_counting = false;
    const double cpu = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - before;
    if (g_executor != nullptr) daemon += CpuSeconds(g_daemonClock) - daemonBefore;
    frames += StationTapFrames(path) - framesBefore;
    if (!t.intact) {
      state.SkipWithError("the transfer did not arrive intact");
      return;
    }
    state.SetIterationTime(cpu);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
  state.counters["frames"] = static_cast<double>(frames) / static_cast<double>(state.iterations());
  // The mean CPU time of the daemon's thread alone (driver, runtime, simulation, TAP serving).
  if (g_executor != nullptr) state.counters["daemon_ms"] = daemon * 1000 / static_cast<double>(state.iterations());
  g_allocationsByCase[name] = {g_allocations, g_apart, frames};
}

// The daemon's thread is the one whose allocations count.
std::unique_ptr<linux_traffic::DaemonTapPath> StartDaemon(const std::string& ssid, const std::string& accessPoint) {
  auto path = std::make_unique<linux_traffic::DaemonTapPath>(std::string(WORLDS_DIR) + "/demo.world", ssid,
                                                             accessPoint, [] {
                                                               t_markedThread = true;
                                                               pthread_getcpuclockid(pthread_self(), &g_daemonClock);
                                                             });
  g_executor = &path->Executor();
  return path;
}

void BM_TcpThroughDriverTap(benchmark::State& state) {
  auto path = StartDaemon("Zelnet Guest", "guest");
  Transfer(state, *path, kOpen);
  path.reset();
  g_executor = nullptr;
}

void BM_TcpThroughDriverTapCcmp(benchmark::State& state) {
  auto path = StartDaemon("", "office");
  {
    zelnicd::testing::LibraryStation station(path->DevicePath(), path->RegistryRoot(), PENTREL_LIBRARY);
    std::string error;
    if (!station.Join("Zelnet Office", "correct horse battery staple", error)) {
      state.SkipWithError(("the station did not join: " + error).c_str());
    } else {
      Transfer(state, *path, kCcmp);
    }
  }
  path.reset();
  g_executor = nullptr;
}

void BM_TcpThroughRawTapPair(benchmark::State& state) {
  linux_traffic::RawTapPath path;
  Transfer(state, path, kRaw);
}

BENCHMARK(BM_TcpThroughRawTapPair)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TcpThroughDriverTap)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TcpThroughDriverTapCcmp)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  PrintCpu();  // the CPU's instructions are on, as a user has them
  g_onlyMarkedThreads = true;
  g_isApart = &MadeBySimulation;
  BestTimesReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (const auto time = reporter.best(kRaw)) {
    std::printf("\nCPU time of a 4 MiB TCP transfer, both sides (best of the repetitions):\n");
    std::printf("  raw TAP-to-TAP copy (anchor)    %7.1f ms\n", *time);
  }
  const struct {
    const char* name;
    const char* label;
  } ours[] = {{kOpen, "driver's TAP path, open network"}, {kCcmp, "driver's TAP path, WPA2 CCMP"}};
  for (const auto& [name, label] : ours) {
    const auto time = reporter.best(name);
    const auto ratio = reporter.ratio(name, kRaw);
    if (!time || !ratio) continue;
    const Allocations& a = g_allocationsByCase[name];
    const double frames = static_cast<double>(a.frames == 0 ? 1 : a.frames);
    std::printf("  %-31s %7.1f ms  %.2fx the anchor\n", label, *time, *ratio);
    std::printf("  %-31s allocations in %llu frames: path %llu (%.3f a frame), simulated chip and air %.1f a frame\n",
                "", static_cast<unsigned long long>(a.frames), static_cast<unsigned long long>(a.path),
                static_cast<double>(a.path) / frames, static_cast<double>(a.simulation) / frames);
  }
  return FinishBenchmarks(reporter);
}
