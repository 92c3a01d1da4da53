// TCP throughput through the TAP path (the adapter's TAP, zelnicd's driver, the simulated air
// in real time, the access point's distribution port, its TAP) on the open network and on the
// WPA2-Personal one (joined through the adapter-control library with libpentrel.so: the
// driver's CCMP and the access point's), beside its anchor measured in the same run: the same
// transfer between the same two network namespaces through two TAPs joined by a plain copy of
// frames, no driver. Root only; the ratios are printed at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

#include "bench/best_times_reporter.h"
#include "hosts/zelnicd/station/library_station.h"
#include "tests/linux_traffic/tap_paths.h"

namespace {

constexpr std::size_t kBytes = 4 << 20;

void Transfer(benchmark::State& state, linux_traffic::TapPath& path) {
  for (auto _ : state) {
    const linux_traffic::Transfer t = linux_traffic::TcpTransfer(path, kBytes);
    if (!t.intact) {
      state.SkipWithError("the transfer did not arrive intact");
      return;
    }
    state.SetIterationTime(t.elapsed.count());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}

void BM_TcpThroughDriverTap(benchmark::State& state) {
  linux_traffic::DriverTapPath path(ZELNICD_PROGRAM, std::string(WORLDS_DIR) + "/demo.world",
                                    "Zelnet Guest", "guest");
  Transfer(state, path);
  path.Stop();
}

void BM_TcpThroughDriverTapCcmp(benchmark::State& state) {
  linux_traffic::DriverTapPath path(ZELNICD_PROGRAM, std::string(WORLDS_DIR) + "/demo.world", "", "office");
  zelnicd::testing::LibraryStation station(path.DevicePath(), path.RegistryRoot(), PENTREL_LIBRARY);
  std::string error;
  if (!station.Join("Zelnet Office", "correct horse battery staple", error)) {
    state.SkipWithError(("the station did not join: " + error).c_str());
    return;
  }
  Transfer(state, path);
  path.Stop();
}

void BM_TcpThroughRawTapPair(benchmark::State& state) {
  linux_traffic::RawTapPath path;
  Transfer(state, path);
}

BENCHMARK(BM_TcpThroughDriverTap)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TcpThroughDriverTapCcmp)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TcpThroughRawTapPair)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  BestTimesReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto driver = reporter.best("BM_TcpThroughDriverTap/iterations:3/manual_time");
  const auto ccmp = reporter.best("BM_TcpThroughDriverTapCcmp/iterations:3/manual_time");
  const auto raw = reporter.best("BM_TcpThroughRawTapPair/iterations:3/manual_time");
  const double mib = static_cast<double>(kBytes) / (1 << 20);
  if (raw) std::printf("\nTCP through the raw TAP-to-TAP copy (no driver):   %7.1f MiB/s\n", mib / (*raw / 1000));
  if (driver && raw) {
    std::printf("TCP through the driver's TAP path, open network:  %7.1f MiB/s (%.1fx the raw path's time)\n",
                mib / (*driver / 1000), *driver / *raw);
  }
  if (ccmp && raw) {
    std::printf("TCP through the driver's TAP path, WPA2 CCMP:     %7.1f MiB/s (%.1fx the raw path's time)\n",
                mib / (*ccmp / 1000), *ccmp / *raw);
  }
  benchmark::Shutdown();
  return 0;
}
