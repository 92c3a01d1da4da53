// The road of one connection on the wall clock: zelnicd in real time on the demo world (its
// own process), the adapter-control library over its control device hosting libpentrel.so.
// Measured: from the WPA2-Personal profile applied to the keys installed on the driver (scan,
// authentication, association, the 4-way and group handshakes, two ADD_KEYs). Anchor, in the
// same run: from the open network's SSID set to the driver's media connect through the same
// processes, so the ratio is what the protection costs on top of joining.
// The PEAP case (root only, for the network namespace): the demo's PEAP profile (user carol)
// applied to the keys installed, with the demo's FreeRADIUS (scripts/demo-radius) on the
// loopback of the namespace zelnicd runs in, where the WPA2-Enterprise access points reach
// the world's radius-server; the demo CA is in the user's ROOT store.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <memory>
#include <string>

#include "bench/best_times_reporter.h"
#include "hosts/demo/demo_profiles.h"
#include "hosts/zelnicd/e2e/zelnicd_process.h"
#include "hosts/zelnicd/station/library_station.h"
#include "platform/cryptoapi/cert_import.h"
#include "platform/cryptoapi/store_location.h"
#include "tests/peers/network_namespace.h"
#include "tests/peers/scratch_dir.h"

namespace {

using zelnicd::testing::LibraryStation;
using zelnicd::testing::ZelnicdProcess;

constexpr char kOpen[] = "BM_OpenSsidToMediaConnect/iterations:5/manual_time";
constexpr char kPsk[] = "BM_Wpa2PskProfileToKeysInstalled/iterations:5/manual_time";
constexpr char kPeap[] = "BM_PeapProfileToKeysInstalled/iterations:5/manual_time";

// A fresh zelnicd for each join (its start is not timed), in the network namespace of the
// descriptor when one is given.
template <class Join>
void Joins(benchmark::State& state, Join join, int networkNamespace = -1) {
  for (auto _ : state) {
    ZelnicdProcess zelnicd({"--world", WORLDS_DIR "/demo.world"}, networkNamespace);
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

// The demo's FreeRADIUS in a network namespace of its own, stopped (by its pid) at the end.
class DemoRadius {
public:
  explicit DemoRadius(peers::NetworkNamespace space) : space_(std::move(space)) {}
  ~DemoRadius() {
    std::string output;
    peers::RunProgram({"bash", DEMO_RADIUS_SCRIPT, "stop", dir_.File("radius")}, &output);
  }
  int networkNamespace() const { return space_.fd(); }

  // Starts the server and files its CA in the user's ROOT store (a store of its own); false
  // with the reason in `whyNot`.
  bool Start(std::string& whyNot) {
    if (peers::RunProgram({"bash", DEMO_RADIUS_SCRIPT, "start", dir_.File("radius")}, &whyNot, space_.fd()) != 0)
      return false;
    setenv(capi::kCertRootVariable, dir_.File("certificates").c_str(), 1);
    const auto root = capi::ImportIntoStore(capi::StoreLocation::CurrentUser, "ROOT",
                                            peers::ReadTextFile(dir_.File("radius/pki/ca.pem")), "");
    whyNot = root.error;
    return root.ok && root.certificates > 0;
  }

private:
  peers::NetworkNamespace space_;
  peers::ScratchDir dir_;
};

void BM_PeapProfileToKeysInstalled(benchmark::State& state, int networkNamespace) {
  PROFILE_ENTRY peap = zelcon::MakeDefaultProfile();
  for (PROFILE_ENTRY& p : demo::DemoProfiles(std::nullopt)) {
    if (zelcon::FieldText(p.name) == "Zelnet Corp PEAP") peap = p;
    zelcon::WipeProfile(p);
  }
  Joins(state, [&](LibraryStation& s, std::string& error) { return s.JoinProfile(peap, error); }, networkNamespace);
  zelcon::WipeProfile(peap);
}

void PrintRatio(const BestTimesReporter& reporter, const char* label, const char* name) {
  const auto open = reporter.best(kOpen);
  const auto ours = reporter.best(name);
  if (!open || !ours) return;
  std::printf("%s, profile applied to keys installed: %.1f ms wall; %.2fx the open network's SSID set to media "
              "connect (%.1f ms)\n",
              label, *ours, *ours / *open, *open);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::string whyNot;
  auto space = peers::NetworkNamespace::Create(&whyNot);
  std::unique_ptr<DemoRadius> radius;
  if (!space) {
    std::printf("PEAP skipped: not root, so no network namespace for FreeRADIUS (%s)\n", whyNot.c_str());
  } else {
    radius = std::make_unique<DemoRadius>(std::move(*space));
    if (!radius->Start(whyNot)) {
      std::fprintf(stderr, "FreeRADIUS did not start: %s\n", whyNot.c_str());
      return 1;
    }
    benchmark::RegisterBenchmark("BM_PeapProfileToKeysInstalled", BM_PeapProfileToKeysInstalled,
                                 radius->networkNamespace())
        ->UseManualTime()
        ->Iterations(5)
        ->Unit(benchmark::kMillisecond);
  }
  BestTimesReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  PrintRatio(reporter, "WPA2-PSK", kPsk);
  PrintRatio(reporter, "WPA2-Enterprise PEAP", kPeap);
  return FinishBenchmarks(reporter);
}
