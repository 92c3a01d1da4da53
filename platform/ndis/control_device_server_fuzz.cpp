// The control device's server as its clients may use it: up to four connections at once,
// each sending well-formed requests (event registrations, signals, echoes, unknown codes),
// raw bytes, half-sent headers or oversized messages, with no descriptor, an eventfd, a pipe
// or several passed along, and ending or half-closing when they like; the server runs when
// the input says (so messages of several connections may wait for it together). The driver behind is
// the test kit's event-holding device, on the virtual clock. Every reply must parse, and once
// the input's clients are gone the process holds the descriptors and event objects it held
// before the input (the device's own references aside).
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/ndis/control_client.h"
#include "platform/ndis/control_device_server.h"
#include "platform/ndis/testing/event_holding_device.h"

namespace {

using ndis::ControlDeviceClient;
using ndis::testing::EventHoldingDevice;

constexpr std::size_t kConnections = 4;
constexpr int kSteps = 12;  // per input: longer runs find little more and run slowly
constexpr std::array<std::uint32_t, 6> kCodes = {EventHoldingDevice::kRegisterEvent,
                                                 EventHoldingDevice::kRegisterRemoveEvent,
                                                 EventHoldingDevice::kSignal,
                                                 EventHoldingDevice::kEcho,
                                                 EventHoldingDevice::kPing,
                                                 0x00122444};

// The pipes the harness made for the current input, by what /proc names them.
std::set<std::string>& MadePipes() {
  static std::set<std::string> pipes;
  return pipes;
}

std::string TargetOf(int fd) {
  std::error_code ignored;
  return std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), ignored).string();
}

// The descriptors of the kinds the server and its clients use: sockets, eventfds and the
// harness's pipes (libFuzzer opens descriptors of its own as it goes).
std::size_t OpenDescriptors() {
  std::size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ignored;
    const std::string target = std::filesystem::read_symlink(entry.path(), ignored).string();
    if (target.starts_with("socket:") || target == "anon_inode:[eventfd]" || MadePipes().contains(target)) ++count;
  }
  return count;
}

// One adapter and its server for the whole run; each input brings its own clients.
struct Served {
  ndis::testing::TestAdapter adapter;
  NDIS_HANDLE device = nullptr;
  std::string directory;
  std::unique_ptr<ndis::ControlDeviceServer> server;
  std::size_t descriptors = 0;

  Served() {
    adapter.miniport.initialize = [this] { return EventHoldingDevice::Register(adapter.miniport, &device); };
    adapter.miniport.halt = [this] {
      EventHoldingDevice::Release();
      NdisMDeregisterDevice(device);
    };
    if (adapter.host->initialize() != NDIS_STATUS_SUCCESS) std::abort();
    char pattern[] = "/tmp/zelnic-fuzz-XXXXXX";
    directory = mkdtemp(pattern);
    std::string error;
    server = ndis::ControlDeviceServer::start(*adapter.host, adapter.scheduler, {directory, std::nullopt}, &error);
    if (!server) std::abort();
    descriptors = OpenDescriptors();
  }
  std::string path() const { return directory + "/" + EventHoldingDevice::kSocketName; }
};

// Made once and never destroyed (libFuzzer may end the process from any input); only its
// directory is removed at the exit.
Served& TheServer() {
  static Served* served = [] {
    auto* made = new Served();
    std::atexit([] { std::filesystem::remove_all(TheServer().directory); });
    return made;
  }();
  return *served;
}

// The descriptors a message carries this time (closed by the caller once sent).
std::vector<int> Descriptors(FuzzedDataProvider& input, int connection) {
  std::vector<int> fds;
  switch (input.ConsumeIntegralInRange(0, 4)) {
    case 0:
      break;
    case 1:
      fds.push_back(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
      break;
    case 2: {
      int pipeFds[2];
      if (pipe2(pipeFds, O_CLOEXEC) == 0) {
        MadePipes().insert(TargetOf(pipeFds[0]));
        fds.push_back(pipeFds[0]);
        close(pipeFds[1]);
      }
      break;
    }
    case 3:
      fds.push_back(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
      fds.push_back(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
      break;
    default:
      fds.push_back(dup(connection));  // the connection's own socket
      break;
  }
  std::erase(fds, -1);
  return fds;
}

std::vector<std::uint8_t> Message(FuzzedDataProvider& input) {
  switch (input.ConsumeIntegralInRange(0, 3)) {
    case 0: {  // well formed
      ndis::ControlRequest request;
      request.id = input.ConsumeIntegral<std::uint32_t>();
      request.code = input.ConsumeBool() ? kCodes[input.ConsumeIntegralInRange<std::size_t>(0, kCodes.size() - 1)]
                                         : input.ConsumeIntegral<std::uint32_t>();
      // Mostly small; now and then the most a request may ask for, or one byte beyond.
      request.outputCapacity = input.ConsumeIntegralInRange<std::uint32_t>(0, 258);
      if (request.outputCapacity > 256) request.outputCapacity += ndis::kControlMaxData - 257;
      request.input = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, 64));
      return ndis::EncodeControlRequest(request);
    }
    case 1: {  // half sent: a well-formed header cut short
      ndis::ControlRequest request{input.ConsumeIntegral<std::uint32_t>(), EventHoldingDevice::kRegisterEvent, 0,
                                   {1, 0, 0, 0}};
      auto bytes = ndis::EncodeControlRequest(request);
      bytes.resize(input.ConsumeIntegralInRange<std::size_t>(0, bytes.size() - 1));
      return bytes;
    }
    case 2: {  // larger than any request may be
      ndis::ControlRequest request{7, EventHoldingDevice::kEcho, 4, {}};
      request.input.resize(ndis::kControlMaxData + input.ConsumeIntegralInRange<std::size_t>(1, 64));
      return ndis::EncodeControlRequest(request);
    }
    default:
      return input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, 128));
  }
}

// Takes every reply waiting on the connections; each must parse.
void TakeReplies(std::array<std::optional<ControlDeviceClient>, kConnections>& clients) {
  for (auto& client : clients) {
    if (!client) continue;
    std::array<std::uint8_t, ndis::kControlReplyHeaderSize + ndis::kControlMaxData + 1> reply;
    for (;;) {
      const ssize_t length = recv(client->descriptor(), reply.data(), reply.size(), MSG_DONTWAIT);
      if (length <= 0) break;
      if (!ndis::ParseControlReply(std::span(reply.data(), static_cast<std::size_t>(length)), nullptr)) {
        std::fprintf(stderr, "a reply that does not parse\n");
        std::abort();
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Served& served = TheServer();
  FuzzedDataProvider input(data, size);
  std::array<std::optional<ControlDeviceClient>, kConnections> clients;
  for (int step = 0; step < kSteps && input.remaining_bytes() > 0; ++step) {
    auto& client = clients[input.ConsumeIntegralInRange<std::size_t>(0, kConnections - 1)];
    switch (input.ConsumeIntegralInRange(0, 4)) {
      case 0:
        // The server takes what waits first: a full backlog would hold the connect.
        served.adapter.scheduler.settle();
        client = ControlDeviceClient::open(served.path());
        // A send never waits for the server, which runs only when the harness lets it.
        if (client) fcntl(client->descriptor(), F_SETFL, O_NONBLOCK);
        break;
      case 1:
        client.reset();
        break;
      case 2:
        if (client) shutdown(client->descriptor(), SHUT_WR);
        break;
      case 3:
        if (client) {
          const std::vector<int> fds = Descriptors(input, client->descriptor());
          client->sendRaw(Message(input), fds);
          for (int fd : fds) close(fd);
        }
        break;
      default:  // the server runs: what waits is read, run and answered
        served.adapter.scheduler.settle();
        TakeReplies(clients);
        break;
    }
  }
  served.adapter.scheduler.settle();
  TakeReplies(clients);
  for (auto& client : clients) client.reset();
  served.adapter.scheduler.settle();
  if (OpenDescriptors() != served.descriptors) {
    std::fprintf(stderr, "descriptors: %zu, %zu before\n", OpenDescriptors(), served.descriptors);
    std::abort();
  }
  MadePipes().clear();
  // The device may hold one object under both codes.
  if (served.adapter.host->runtime().eventObjects() > EventHoldingDevice::heldCount()) {
    std::fprintf(stderr, "event objects: %zu, %zu held by the device\n", served.adapter.host->runtime().eventObjects(),
                 EventHoldingDevice::heldCount());
    std::abort();
  }
  return 0;
}
