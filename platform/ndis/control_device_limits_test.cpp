// What one client of the control device cannot take from the others: event registrations
// keep at most one event per registration code and connection, and what a connection held is
// freed when it ends; a listener that finds no descriptor for a new connection rests, goes
// on serving the connections it has, and accepts the waiting one once descriptors are free.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <filesystem>

#include "platform/ndis/control_client.h"
#include "platform/ndis/control_device_server.h"
#include "platform/ndis/testing/event_holding_device.h"

namespace ndis {
namespace {

using testing::TestAdapter;

using Device = testing::EventHoldingDevice;
constexpr ULONG kRegisterEvent = Device::kRegisterEvent;
constexpr ULONG kRegisterRemoveEvent = Device::kRegisterRemoveEvent;
constexpr ULONG kSignal = Device::kSignal;
constexpr ULONG kPing = Device::kPing;

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

bool Signalled(int eventFd) {
  std::uint64_t count = 0;
  return read(eventFd, &count, sizeof count) == sizeof count && count > 0;
}

// An adapter with the device served from a temporary directory, on the virtual clock.
struct ServedDevice {
  TestAdapter a;
  NDIS_HANDLE device = nullptr;
  std::string directory;
  std::unique_ptr<ControlDeviceServer> server;

  ServedDevice() {
    a.miniport.initialize = [&] { return Device::Register(a.miniport, &device); };
    a.miniport.halt = [&] {
      Device::Release();
      NdisMDeregisterDevice(device);
    };
    EXPECT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
    char pattern[] = "/tmp/zelnic-limits-XXXXXX";
    directory = mkdtemp(pattern);
    std::string error;
    server = ControlDeviceServer::start(*a.host, a.scheduler, {directory, std::nullopt}, &error);
    EXPECT_TRUE(server) << error;
  }
  ~ServedDevice() {
    if (a.host->running()) a.host->halt();
    server.reset();
    std::filesystem::remove_all(directory);
  }
  std::string path() const { return directory + "/" + Device::kSocketName; }

  ControlDeviceClient open() {
    auto client = ControlDeviceClient::open(path());
    EXPECT_TRUE(client);
    a.scheduler.settle();  // the open
    return std::move(*client);
  }

  // One request through the socket, the server run, its reply's status (none: kNoReply).
  static constexpr NTSTATUS kNoReply = -1;
  NTSTATUS request(ControlDeviceClient& client, ULONG code, std::uint32_t word, int eventFd = -1) {
    std::vector<std::uint8_t> input(4);
    std::memcpy(input.data(), &word, 4);
    const auto message = EncodeControlRequest(ControlRequest{1, code, 0, input});
    const std::span<const int> descriptors = eventFd >= 0 ? std::span<const int>(&eventFd, 1) : std::span<const int>();
    if (!client.sendRaw(message, descriptors)) return kNoReply;
    a.scheduler.settle();
    const auto reply = client.receiveReply(std::chrono::seconds(1));
    return reply ? static_cast<NTSTATUS>(reply->status) : kNoReply;
  }
};

TEST(ControlDeviceLimits, RegistrationsReplaceTheEventOfTheirCodeAndEndWithTheConnection) {
  ServedDevice served;
  std::optional<ControlDeviceClient> client = served.open();
  const std::size_t before = OpenDescriptors();

  // A client that registers again and again, each time with a new eventfd.
  int ring = -1;
  int removal = -1;
  for (std::uint32_t i = 0; i < 200; ++i) {
    for (int fd : {ring, removal}) {
      if (fd >= 0) close(fd);
    }
    ring = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    removal = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    ASSERT_EQ(served.request(*client, kRegisterEvent, 1000 + i, ring), STATUS_SUCCESS);
    ASSERT_EQ(served.request(*client, kRegisterRemoveEvent, 2000 + i, removal), STATUS_SUCCESS);
  }
  // The server holds the latest of each code, and only those: two eventfds, two objects.
  EXPECT_EQ(OpenDescriptors(), before + 4);
  EXPECT_EQ(served.a.host->runtime().eventObjects(), 2u);

  struct Naming {
    ULONG code;
    std::uint32_t word;
    NTSTATUS status;
  };
  for (const Naming& naming : {
           Naming{kRegisterEvent, 1199, STATUS_SUCCESS},             // its own latest
           Naming{kRegisterEvent, 2199, STATUS_SUCCESS},             // the other code's latest
           Naming{kRegisterRemoveEvent, 2199, STATUS_SUCCESS},       // back to its own
           Naming{kRegisterEvent, 1198, STATUS_INVALID_HANDLE},      // replaced: names nothing
           Naming{kRegisterRemoveEvent, 7, STATUS_INVALID_HANDLE},   // never registered
       }) {
    EXPECT_EQ(served.request(*client, naming.code, naming.word), naming.status) << naming.word;
  }
  ASSERT_EQ(served.request(*client, kRegisterEvent, 1199), STATUS_SUCCESS);
  ASSERT_EQ(served.request(*client, kSignal, 0), STATUS_SUCCESS);
  EXPECT_TRUE(Signalled(ring));
  EXPECT_TRUE(Signalled(removal));

  // The client leaves: its handles and eventfds go; the driver's references keep the objects,
  // which it may still signal (reaching nobody), until it lets them go at the halt.
  client.reset();
  served.a.scheduler.settle();
  EXPECT_EQ(OpenDescriptors(), before);  // the connection's two ends gone, the test's two eventfds open
  EXPECT_EQ(served.a.host->runtime().eventObjects(), 2u);
  served.a.run(DISPATCH_LEVEL, [] {
    for (PKEVENT event : Device::held()) KeSetEvent(event, 0, FALSE);
  });
  EXPECT_FALSE(Signalled(ring));
  served.a.host->halt();
  EXPECT_EQ(served.a.host->runtime().eventObjects(), 0u);
  EXPECT_TRUE(served.a.host->leaks().empty()) << served.a.host->leaks().describe();
  close(ring);
  close(removal);
}

// A client that connected on its own socket (the server may not have accepted it yet): its
// ping is sent at once, answered when the server reads it.
struct WaitingClient {
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  ~WaitingClient() { close(fd); }
  bool connectAndPing(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const auto ping = EncodeControlRequest(ControlRequest{3, kPing, 0, {}});
    return connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
           send(fd, ping.data(), ping.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(ping.size());
  }
  bool answered() {
    std::array<std::uint8_t, 64> reply{};
    const ssize_t length = recv(fd, reply.data(), reply.size(), MSG_DONTWAIT);
    if (length <= 0) return false;
    const auto parsed = ParseControlReply(std::span(reply.data(), static_cast<std::size_t>(length)), nullptr);
    return parsed && static_cast<NTSTATUS>(parsed->status) == STATUS_SUCCESS;
  }
};

// Run in a child whose descriptor limit leaves the server one descriptor: a failure is the
// reason, success an empty text.
std::string AcceptWithoutDescriptors() {
  ServedDevice served;
  std::optional<ControlDeviceClient> connected = served.open();
  std::array<WaitingClient, 3> waiting;  // made now: at the limit no socket could be

  // Every descriptor number below the limit taken, then one given back for the server.
  const rlimit limit{OpenDescriptors() + 8, OpenDescriptors() + 8};
  if (setrlimit(RLIMIT_NOFILE, &limit) != 0) return "setrlimit failed";
  std::vector<int> placeholders;
  for (int fd; (fd = dup(connected->descriptor())) >= 0;) placeholders.push_back(fd);
  close(placeholders.back());
  placeholders.pop_back();

  for (WaitingClient& client : waiting) {
    if (!client.connectAndPing(served.path())) return "a client could not connect";
  }
  served.a.scheduler.runFor(std::chrono::seconds(1));  // returns: the listener does not spin
  if (!waiting[0].answered()) return "the first waiting client was not served";
  if (waiting[1].answered()) return "a client was served without a descriptor";
  if (served.request(*connected, kPing, 0) != STATUS_SUCCESS) return "a connected client went unanswered";

  close(waiting[0].fd);  // its connection ends: the server's descriptor is free again
  waiting[0].fd = -1;
  placeholders.push_back(dup(connected->descriptor()));  // the test's own, taken again
  served.a.scheduler.settle();
  served.a.scheduler.settle();
  if (!waiting[1].answered()) return "a connection's end did not let the next one in";

  close(placeholders.back());  // a descriptor freed elsewhere: found after the listener's rest
  served.a.scheduler.settle();
  if (waiting[2].answered()) return "the rest was not kept";
  served.a.scheduler.runFor(std::chrono::milliseconds(200));
  if (!waiting[2].answered()) return "the listener did not accept again after its rest";
  return {};
}

TEST(ControlDeviceLimitsDeathTest, AListenerWithoutDescriptorsRestsAndServesItsConnections) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const std::string failure = AcceptWithoutDescriptors();
        std::fprintf(stderr, "%s\n", failure.c_str());
        std::_Exit(failure.empty() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace ndis
