// The simulated air's own cost: the CPU time of one simulated minute of beaconing by 10
// access points on channels 1..11 (a listening station on each of their channels, so every
// beacon is delivered), without and with a pcap. The anchor, in the same run: the same
// number of scheduler events with empty actions, so the ratio is what the air adds to the
// bare executor.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/best_times_reporter.h"
#include "sim/air/access_point.h"
#include "sim/air/medium.h"
#include "sim/air/pcap_recorder.h"

namespace {

using namespace std::chrono_literals;

constexpr int kAccessPoints = 10;

class Listener final : public simair::Radio {
public:
  Listener(simair::MacAddress address, std::uint8_t channel) : address_(address), channel_(channel) {}
  simair::MacAddress address() const override { return address_; }
  std::uint8_t channel() const override { return channel_; }
  bool radioOn() const override { return true; }
  void receive(const simair::AirFrame& frame, const simair::Reception&) override { bytes += frame.bytes.size(); }
  std::uint64_t bytes = 0;

private:
  simair::MacAddress address_;
  std::uint8_t channel_;
};

// One simulated minute; the number of scheduler events it ran.
std::size_t SimulatedMinute(bool pcap, bool countEvents) {
  ndis::Scheduler scheduler;
  scheduler.recordTrace(countEvents);
  simair::Medium medium(scheduler);
  std::string error;
  std::unique_ptr<simair::PcapRecorder> recorder;
  if (pcap) {
    recorder = simair::PcapRecorder::Create("/dev/null", simair::PcapLinkType::Radiotap, error);
    medium.setRecorder(recorder.get());
  }
  std::vector<std::unique_ptr<simair::AccessPoint>> aps;
  std::vector<std::unique_ptr<Listener>> listeners;
  for (int i = 0; i < kAccessPoints; ++i) {
    simair::AccessPointConfig config;
    config.bssid = {0x02, 0x5a, 0x4c, 0, 0, static_cast<std::uint8_t>(i + 1)};
    config.ssid = "bench-" + std::to_string(i);
    config.channel = static_cast<std::uint8_t>(1 + i);
    config.security = i % 2 == 0 ? simair::Security::Wpa2 : simair::Security::Open;
    aps.push_back(std::make_unique<simair::AccessPoint>(scheduler, medium, config));
    listeners.push_back(std::make_unique<Listener>(simair::MacAddress{0x02, 0x99, 0, 0, 0, static_cast<std::uint8_t>(i)},
                                                   config.channel));
    medium.join(*listeners.back());
    aps.back()->start();
  }
  scheduler.runFor(60s);
  for (auto& listener : listeners) medium.leave(*listener);
  return scheduler.trace().size();
}

std::size_t EventsOfAMinute() {
  static const std::size_t events = SimulatedMinute(false, true);
  return events;
}

void AirMinute10Aps(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(SimulatedMinute(false, false));
  state.counters["events"] = static_cast<double>(EventsOfAMinute());
}

void AirMinute10ApsWithPcap(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(SimulatedMinute(true, false));
  state.counters["events"] = static_cast<double>(EventsOfAMinute());
}

// The anchor: as many events as the air's minute, each an empty action that queues the next,
// spread over the same minute.
void EmptySchedulerEvents(benchmark::State& state) {
  const std::size_t events = EventsOfAMinute();
  const ndis::Micros step(60'000'000 / static_cast<std::int64_t>(events));
  for (auto _ : state) {
    ndis::Scheduler scheduler;
    std::size_t left = events;
    std::function<void()> next = [&] {
      if (--left > 0) scheduler.after(step, ndis::EventKind::Air, "empty", next);
    };
    scheduler.after(step, ndis::EventKind::Air, "empty", next);
    scheduler.runFor(61s);
    if (left != 0) state.SkipWithError("not every event ran");
  }
  state.counters["events"] = static_cast<double>(events);
}

void PrintRatios(const BestTimesReporter& reporter) {
  const auto anchor = reporter.best("EmptySchedulerEvents");
  if (!anchor) return;
  std::printf("\nOne simulated minute, %d access points, %zu events:\n", kAccessPoints, EventsOfAMinute());
  for (const char* name : {"AirMinute10Aps", "AirMinute10ApsWithPcap"}) {
    if (const auto time = reporter.best(name))
      std::printf("  %-24s %8.2f ms CPU, %6.2f x the anchor (empty scheduler events %.2f ms)\n", name, *time,
                  *time / *anchor, *anchor);
  }
}

}  // namespace

BENCHMARK(EmptySchedulerEvents)->Unit(benchmark::kMillisecond);
BENCHMARK(AirMinute10Aps)->Unit(benchmark::kMillisecond);
BENCHMARK(AirMinute10ApsWithPcap)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  BestTimesReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintRatios(reporter);
  return FinishBenchmarks(reporter);
}
