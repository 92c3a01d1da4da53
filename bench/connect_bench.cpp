// Zelnic connecting, in the simulated air's virtual time and in the CPU time it takes.
//
// Virtual-time latencies (deterministic, printed as a table): a foreground scan of the
// region's channels, a connect from the SSID set with the table already filled, a roam to a
// stronger access point, and the detection of a silent access point. CPU time: one whole
// simulated connect (driver start, scan, join, halt), with its anchor in the same run: the
// driver's start and halt alone with the same world, so the ratio is what the connection
// costs on top of bringing the adapter up.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "bench/best_times_reporter.h"
#include "driver/core/core_adapter.h"
#include "driver/entry/testing/driver_harness.h"
#include "driver/hal/hal_adapter.h"
#include "platform/ndis/ntddndis.h"
#include "sim/air/air_world.h"
#include "sim/air/world_file.h"

namespace {

using namespace std::chrono_literals;

const std::string kWorldA = "ap a\n bssid 02:00:00:00:00:0a\n ssid Zelnet\n channel 6\n signal -50\n";
const std::string kWorld = kWorldA + "ap b\n bssid 02:00:00:00:00:0b\n ssid Zelnet\n channel 6\n signal -90\n";

// The driver started over the simulated chip, on the air of `world`.
struct Station {
  explicit Station(const std::string& world) {
    if (h.start() != NDIS_STATUS_SUCCESS) std::abort();
    h.run([&] { zelnic::hal::ResumeTransmission(h.hal()); });  // what the packet-filter set does
    std::string error;
    char mac[18];
    const auto a = h.chip.identity().mac;
    std::snprintf(mac, sizeof mac, "%02x:%02x:%02x:%02x:%02x:%02x", a[0], a[1], a[2], a[3], a[4], a[5]);
    auto parsed = simair::ParseWorld(std::string("station ") + mac + "\n" + world, error);
    if (!parsed) std::abort();
    air = std::make_unique<simair::AirWorld>(h.scheduler, *parsed, nullptr);
    h.chip.attachAir(air->medium());
  }
  ~Station() {
    h.halt();
    h.chip.detachAir();
  }
  ndis::OidResult setSsid(const std::string& ssid) {
    std::vector<std::uint8_t> record(4 + ssid.size());
    const auto length = static_cast<ULONG>(ssid.size());
    std::memcpy(record.data(), &length, 4);
    std::memcpy(record.data() + 4, ssid.data(), ssid.size());
    return h.host->set(OID_802_11_SSID, record, 30s);
  }
  CoreAdapter* core() { return h.core(); }
  zelnic::testing::DriverHarness h;
  std::unique_ptr<simair::AirWorld> air;
};

double Ms(ndis::Micros micros) { return static_cast<double>(micros.count()) / 1000.0; }

void PrintVirtualLatencies() {
  std::printf("\nVirtual-time latencies (deterministic)\n");
  {
    Station s(kWorld);
    const auto start = s.h.scheduler.now();
    const auto scan = s.h.host->set(OID_802_11_BSSID_LIST_SCAN, {}, 30s);
    std::printf("  foreground scan of the region's channels:   %8.1f ms  (status 0x%x; anchor: mac80211 active scan of "
                "13 channels, about 800 ms; this dwell is 160 ms by design)\n",
                Ms(s.h.scheduler.now() - start), scan.status);
    const auto connectStart = s.h.scheduler.now();
    s.setSsid("Zelnet");
    std::printf("  connect from the SSID set, table filled:    %8.1f ms  (anchor: field warning above 200 ms for "
                "authentication and association)\n",
                Ms(s.h.scheduler.now() - connectStart));
  }
  {
    Station s(kWorld + "at 3s a signal -80\nat 3s b signal -45\nat 40s a off\n");
    s.h.run([&] { s.core()->Config.signalThreshold = -70; });
    s.setSsid("Zelnet");
    const auto b = s.air->accessPoint(1).config().bssid;
    s.h.scheduler.runUntil([&] { return s.core()->ConnectReason == 1; }, 60s);
    const auto roamStart = s.h.scheduler.now();
    s.h.scheduler.runUntil([&] { return s.core()->ConnectReason == 0 && s.core()->Bssid == b; }, 10s);
    std::printf("  roam (RoamTo to the media connect):         %8.1f ms  (anchor: field warning above 100 ms for "
                "a reassociation)\n",
                Ms(s.h.scheduler.now() - roamStart));
  }
  {
    Station s(kWorldA + "at 5s a off\n");  // no other access point to roam to
    s.setSsid("Zelnet");
    s.h.scheduler.runUntil([&] { return !s.air->accessPoint(0).radioOn(); }, 10s);
    const auto off = s.h.scheduler.now();
    s.h.scheduler.runUntil([&] { return s.core()->MediaDisconnected != 0; }, 20s);
    std::printf("  link loss (access point off to disconnect): %8.1f ms  (40 link-monitor periods of the beacon "
                "period + 50 ms)\n\n",
                Ms(s.h.scheduler.now() - off));
  }
}

void BM_StartAndHalt(benchmark::State& state) {
  for (auto _ : state) {
    Station s(kWorld);
    benchmark::DoNotOptimize(s.core());
  }
}
BENCHMARK(BM_StartAndHalt)->Unit(benchmark::kMillisecond);

void BM_SimulatedConnect(benchmark::State& state) {
  for (auto _ : state) {
    Station s(kWorld);
    if (s.setSsid("Zelnet").status != NDIS_STATUS_SUCCESS) state.SkipWithError("no connect");
  }
}
BENCHMARK(BM_SimulatedConnect)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  PrintVirtualLatencies();
  BestTimesReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto anchor = reporter.best("BM_StartAndHalt");
  const auto connect = reporter.best("BM_SimulatedConnect");
  if (anchor && connect && *anchor > 0)
    std::printf("\nOne simulated connect: %.2f ms CPU, %.2fx the driver's start and halt alone (%.2f ms)\n", *connect,
                *connect / *anchor, *anchor);
  return FinishBenchmarks(reporter);
}
