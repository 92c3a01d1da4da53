// The control device on Linux: one QUERY's round trip over the socket (request message,
// executor dispatch at PASSIVE, reply message) and the latency of an event, from the
// request that makes the driver signal it to the eventfd waking its reader. The driver is a
// small miniport in the real-time runtime, on a thread of its own, as in zelnicd. The anchor,
// measured in the same run, is the bare transport: one message echoed by another thread over
// an AF_UNIX SOCK_SEQPACKET pair; the program prints both times as ratios to it.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <thread>

#include "bench/best_times_reporter.h"
#include "platform/ndis/control_client.h"
#include "platform/ndis/control_device_server.h"
#include "platform/ndis/test_miniport.h"

namespace {

constexpr ULONG kQuery = CTL_CODE(0x12, 0x900, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr ULONG kRegister = CTL_CODE(0x12, 0x920, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr ULONG kSignal = CTL_CODE(0x12, 0x9F0, METHOD_BUFFERED, FILE_ANY_ACCESS);

PKEVENT g_event = nullptr;

// Query: answers 8 bytes; register: references the event; signal: sets it.
NTSTATUS Dispatch(PDEVICE_OBJECT, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  irp->IoStatus.Status = STATUS_SUCCESS;
  irp->IoStatus.Information = 0;
  if (stack->MajorFunction == IRP_MJ_DEVICE_CONTROL) {
    const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    auto* buffer = static_cast<UCHAR*>(irp->AssociatedIrp.SystemBuffer);
    if (code == kQuery) {
      std::memset(buffer, 0, 8);
      irp->IoStatus.Information = 8;
    } else if (code == kRegister) {
      ULONG handle;
      std::memcpy(&handle, buffer, 4);
      PVOID object = nullptr;
      irp->IoStatus.Status = ObReferenceObjectByHandle(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(handle)),
                                                       EVENT_MODIFY_STATE, *ExEventObjectType, UserMode, &object,
                                                       nullptr);
      g_event = static_cast<PKEVENT>(object);
    } else if (code == kSignal && g_event != nullptr) {
      KeSetEvent(g_event, 2, FALSE);
    }
  }
  const NTSTATUS status = irp->IoStatus.Status;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

// The driver host on its own thread: load, start, serve, and halt at the end.
class Host {
public:
  Host() {
    char pattern[] = "/tmp/zelnic-bench-XXXXXX";
    directory_ = mkdtemp(pattern);
    std::promise<void> ready;
    auto started = ready.get_future();
    thread_ = std::thread([this, &ready] { run(ready); });
    started.wait();
  }
  ~Host() {
    stop_ = true;
    scheduler_->post(ndis::EventKind::Host, "stop", [] {});
    thread_.join();
    std::filesystem::remove_all(directory_);
  }
  std::string path() const { return directory_ + "/BenchDev0"; }

private:
  void run(std::promise<void>& ready) {
    ndis::Scheduler scheduler(ndis::Scheduler::Mode::RealTime);
    scheduler_ = &scheduler;
    ndis::RegisterFileChip chip;
    ndis::testing::TestMiniport miniport;
    NDIS_HANDLE device = nullptr;
    miniport.initialize = [&] {
      NDIS_STRING name, link;
      NdisInitUnicodeString(&name, u"\\Device\\Bench0");
      NdisInitUnicodeString(&link, u"\\DosDevices\\BenchDev0");
      PDRIVER_DISPATCH table[IRP_MJ_MAXIMUM_FUNCTION + 1] = {};
      table[IRP_MJ_CREATE] = table[IRP_MJ_CLOSE] = table[IRP_MJ_DEVICE_CONTROL] = &Dispatch;
      PDEVICE_OBJECT object = nullptr;
      return NdisMRegisterDevice(miniport.wrapper, &name, &link, table, &object, &device);
    };
    miniport.halt = [&] {
      if (g_event != nullptr) ObDereferenceObject(g_event);
      g_event = nullptr;
      NdisMDeregisterDevice(device);
    };
    ndis::AdapterConfig config;
    config.checkForHang = false;
    auto host = ndis::NdisHost::load(&ndis::testing::TestMiniport::DriverEntry, config, chip, scheduler);
    if (host->initialize() != NDIS_STATUS_SUCCESS) std::abort();
    std::string error;
    auto server = ndis::ControlDeviceServer::start(*host, scheduler, {directory_, std::nullopt}, &error);
    if (server == nullptr) std::abort();
    ready.set_value();
    while (!stop_) scheduler.runUntil([this] { return stop_.load(); }, std::chrono::seconds(1));
    host->halt();
    server.reset();
  }

  std::string directory_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  ndis::Scheduler* scheduler_ = nullptr;
};

void BM_QueryRoundTrip(benchmark::State& state) {
  Host host;
  auto client = ndis::ControlDeviceClient::open(host.path());
  if (!client) {
    state.SkipWithError("no device");
    return;
  }
  const std::uint8_t oid[4] = {0x06, 0x01, 0x01, 0x00};
  for (auto _ : state) {
    auto reply = client->ioctl(kQuery, oid, 8);
    benchmark::DoNotOptimize(reply);
  }
}
BENCHMARK(BM_QueryRoundTrip)->Unit(benchmark::kMicrosecond);

void BM_EventLatency(benchmark::State& state) {
  Host host;
  auto client = ndis::ControlDeviceClient::open(host.path());
  const int event = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  const std::uint8_t token[4] = {1, 0, 0, 0};
  if (!client || client->ioctl(kRegister, token, 0, event).status != 0) {
    state.SkipWithError("no device");
    return;
  }
  // The signal request's reply is not waited for: the clock stops when the eventfd wakes.
  const std::vector<std::uint8_t> signal = ndis::EncodeControlRequest(ndis::ControlRequest{1, kSignal, 0, {}});
  for (auto _ : state) {
    client->sendRaw(signal);
    pollfd polled{event, POLLIN, 0};
    poll(&polled, 1, 1000);
    state.PauseTiming();
    std::uint64_t count;
    [[maybe_unused]] const ssize_t drained = read(event, &count, sizeof count);
    client->receiveReply(std::chrono::seconds(1));
    state.ResumeTiming();
  }
  close(event);
}
BENCHMARK(BM_EventLatency)->Unit(benchmark::kMicrosecond);

// The anchor: a request-sized message to another thread and its echo, nothing in between.
void BM_SocketPairEchoAnchor(benchmark::State& state) {
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
    state.SkipWithError("no socket pair");
    return;
  }
  std::thread echo([fd = pair[1]] {
    std::uint8_t message[64];
    for (;;) {
      const ssize_t n = recv(fd, message, sizeof message, 0);
      if (n <= 0 || send(fd, message, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n) return;
    }
  });
  std::uint8_t request[28] = {};
  std::uint8_t reply[64];
  for (auto _ : state) {
    if (send(pair[0], request, sizeof request, MSG_NOSIGNAL) != sizeof request) break;
    benchmark::DoNotOptimize(recv(pair[0], reply, sizeof reply, 0));
  }
  shutdown(pair[0], SHUT_RDWR);
  echo.join();
  close(pair[0]);
  close(pair[1]);
}
BENCHMARK(BM_SocketPairEchoAnchor)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  BestTimesReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\ntime ratio to the bare socket-pair echo (anchor)\n");
  for (const char* ours : {"BM_QueryRoundTrip", "BM_EventLatency"}) {
    if (const auto ratio = reporter.ratio(ours, "BM_SocketPairEchoAnchor")) std::printf("%-18s %.1f\n", ours, *ratio);
  }
  benchmark::Shutdown();
  return 0;
}
