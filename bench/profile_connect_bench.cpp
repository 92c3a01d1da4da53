// The road of one connection on the wall clock: zelnicd in real time on the demo world (its
// own process), the adapter-control library over its control device hosting libpentrel.so.
// Measured: from the WPA2-Personal profile applied to the keys installed on the driver (scan,
// authentication, association, the 4-way and group handshakes, two ADD_KEYs). Anchor, in the
// same run: from the open network's SSID set to the driver's media connect through the same
// processes, so the ratio is what the protection costs on top of joining.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench/best_times_reporter.h"
#include "hosts/zelnicd/e2e/zelnicd_process.h"
#include "hosts/zelnicd/station/library_station.h"

namespace {

using zelnicd::testing::LibraryStation;
using zelnicd::testing::ZelnicdProcess;

// A fresh zelnicd for each join (its start is not timed).
template <class Join>
void Joins(benchmark::State& state, Join join) {
  for (auto _ : state) {
    ZelnicdProcess zelnicd({"--world", WORLDS_DIR "/demo.world"});
    if (!zelnicd.waitForDevice()) {
      state.SkipWithError("zelnicd did not come up");
      return;
    }
    LibraryStation station(zelnicd.devicePath(), zelnicd.registryRoot(), PENTREL_LIBRARY);
    std::string error;
    const auto elapsed = join(station, error);
    if (!elapsed) {
      state.SkipWithError(error.c_str());
      return;
    }
    state.SetIterationTime(elapsed->count());
  }
}

void BM_OpenSsidToMediaConnect(benchmark::State& state) {
  Joins(state, [](LibraryStation& s, std::string& error) { return s.JoinOpen("Zelnet Guest", error); });
}

void BM_Wpa2PskProfileToKeysInstalled(benchmark::State& state) {
  Joins(state, [](LibraryStation& s, std::string& error) {
    return s.Join("Zelnet Office", "correct horse battery staple", error);
  });
}

BENCHMARK(BM_OpenSsidToMediaConnect)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Wpa2PskProfileToKeysInstalled)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  BestTimesReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto open = reporter.best("BM_OpenSsidToMediaConnect/iterations:5/manual_time");
  const auto psk = reporter.best("BM_Wpa2PskProfileToKeysInstalled/iterations:5/manual_time");
  if (open && psk) {
    std::printf("\nWPA2-PSK, profile applied to keys installed: %.1f ms wall; %.1fx the open network's SSID set "
                "to media connect (%.1f ms)\n",
                *psk, *psk / *open, *open);
  }
  benchmark::Shutdown();
  return 0;
}
