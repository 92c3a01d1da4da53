// The control device of zelnicd as the utility reaches it: one OID query's round trip over
// the device's socket (the request message, zelnicd's dispatch into the real driver at
// PASSIVE, the driver's answer, the reply message), against zelnicd running as its own
// process. The anchor, measured in the same run, is the bare transport: a request-sized
// message echoed by another thread over an AF_UNIX SOCK_SEQPACKET pair.
//
// Times are CPU time, as the machine is shared: per batch of round trips, the CPU time of the
// thread that asks plus that of every thread of the side that answers (all of zelnicd's
// process; the echo thread for the anchor). The program prints the ratio to the anchor.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <time.h>

#include <cstdio>
#include <cstring>
#include <thread>

#include "bench/best_times_reporter.h"
#include "bench/cpu_instructions.h"
#include "hosts/zelnicd/e2e/zelnicd_process.h"
#include "platform/ndis/control_client.h"

namespace {

constexpr std::uint32_t kQueryOid = 0x00122400;             // IOCTL_HLVN_QUERY_OID
constexpr std::uint32_t kCurrentAddress = 0x01010102;       // OID_802_3_CURRENT_ADDRESS
constexpr int kRoundTrips = 2000;                           // per timed batch

double CpuSeconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The CPU time of the asking thread and of the answering side.
class CpuMeter {
public:
  explicit CpuMeter(clockid_t answering) : answering_(answering) {}
  void start() { begin_ = now(); }
  double seconds() const { return now() - begin_; }

private:
  double now() const { return CpuSeconds(CLOCK_THREAD_CPUTIME_ID) + CpuSeconds(answering_); }
  clockid_t answering_;
  double begin_ = 0;
};

void BM_QueryRoundTrip(benchmark::State& state) {
  zelnicd::testing::ZelnicdProcess zelnicd;
  std::string error;
  std::optional<ndis::ControlDeviceClient> client;
  if (zelnicd.waitForDevice()) client = ndis::ControlDeviceClient::open(zelnicd.devicePath(), &error);
  clockid_t zelnicdClock;
  if (!client || clock_getcpuclockid(zelnicd.pid(), &zelnicdClock) != 0) {
    state.SkipWithError(("zelnicd's control device: " + error + "\n" + zelnicd.output()).c_str());
    return;
  }
  std::uint8_t request[4];
  std::memcpy(request, &kCurrentAddress, 4);
  const auto ask = [&] {
    const auto reply = client->ioctl(kQueryOid, request, 4 + 6);
    return reply.answered && reply.status == 0 && reply.output.size() == 4 + 6;
  };
  for (int i = 0; i < 200; ++i) ask();  // both sides warm
  CpuMeter meter(zelnicdClock);
  for (auto _ : state) {
    meter.start();
    for (int i = 0; i < kRoundTrips; ++i) {
      if (!ask()) {
        state.SkipWithError("a query went unanswered");
        return;
      }
    }
    state.SetIterationTime(meter.seconds());
  }
  state.SetItemsProcessed(state.iterations() * kRoundTrips);
}
BENCHMARK(BM_QueryRoundTrip)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.5);

// The anchor: a request-sized message to another thread and its echo, nothing in between.
void BM_SocketPairEchoAnchor(benchmark::State& state) {
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
    state.SkipWithError("no socket pair");
    return;
  }
  clockid_t echoClock{};
  std::atomic<bool> started{false};
  std::thread echo([&, fd = pair[1]] {
    pthread_getcpuclockid(pthread_self(), &echoClock);
    started = true;
    std::uint8_t message[64];
    for (;;) {
      const ssize_t n = recv(fd, message, sizeof message, 0);
      if (n <= 0 || send(fd, message, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n) return;
    }
  });
  while (!started) std::this_thread::yield();
  std::uint8_t request[28] = {};
  std::uint8_t reply[64];
  CpuMeter meter(echoClock);
  for (auto _ : state) {
    meter.start();
    for (int i = 0; i < kRoundTrips; ++i) {
      if (send(pair[0], request, sizeof request, MSG_NOSIGNAL) != sizeof request ||
          recv(pair[0], reply, sizeof reply, 0) != sizeof request) {
        state.SkipWithError("the echo failed");
        break;
      }
    }
    state.SetIterationTime(meter.seconds());
  }
  state.SetItemsProcessed(state.iterations() * kRoundTrips);
  shutdown(pair[0], SHUT_RDWR);
  echo.join();
  close(pair[0]);
  close(pair[1]);
}
BENCHMARK(BM_SocketPairEchoAnchor)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.5);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  PrintCpu();  // the CPU's instructions are on, as a user has them
  BestTimesReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const char* ours = "BM_QueryRoundTrip/min_time:0.500/manual_time";
  const char* anchor = "BM_SocketPairEchoAnchor/min_time:0.500/manual_time";
  const auto query = reporter.best(ours);
  const auto echo = reporter.best(anchor);
  if (query && echo) {
    // Batches of kRoundTrips, in milliseconds: the same figure is microseconds per kRoundTrips/1000.
    const double perTrip = 1000.0 / kRoundTrips;
    std::printf("\nCPU time of one round trip, both sides (best batch):\n");
    std::printf("  socket-pair echo (anchor)          %6.2f us\n", *echo * perTrip);
    std::printf("  OID query through zelnicd's driver %6.2f us  %.2fx the anchor\n", *query * perTrip,
                *query / *echo);
  }
  return FinishBenchmarks(reporter);
}
