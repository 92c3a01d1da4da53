// One client of zelnicd's control device that floods it with event registrations and with
// connections beyond zelnicd's descriptor limit: another client is still answered at once,
// zelnicd neither spins nor keeps what the flooder left, and serves new clients after it.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "driver/entry/testing/ioctl_words.h"
#include "driver/ndis/control_device.h"
#include "hosts/zelnicd/e2e/zelnicd_process.h"
#include "platform/ndis/control_client.h"

namespace zelnicd {
namespace {

using namespace std::chrono_literals;
using ndis::ControlDeviceClient;
using testing::ZelnicdProcess;
using zelnic::testing::Words;

std::size_t Descriptors(pid_t pid) {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd"))
    ++count;
  return count;
}

// User and system time the process has taken, in clock ticks.
long CpuTicks(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {  // state is field 3
    if (i == 14) utime = std::stol(field);
    if (i == 15) stime = std::stol(field);
  }
  return utime + stime;
}

// The share of one processor the process took over `window`.
double CpuShare(pid_t pid, std::chrono::milliseconds window) {
  const long before = CpuTicks(pid);
  std::this_thread::sleep_for(window);
  const double seconds = static_cast<double>(CpuTicks(pid) - before) / static_cast<double>(sysconf(_SC_CLK_TCK));
  return seconds / std::chrono::duration<double>(window).count();
}

// A connection made without waiting: refused or left in the backlog when zelnicd cannot
// accept; -1 when not even that.
int ConnectWithoutWaiting(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

// A new client connects (again while the backlog is full, at most two seconds) and pings.
bool ANewClientIsAnswered(const std::string& path) {
  int fd = -1;
  for (const auto until = std::chrono::steady_clock::now() + 2s; fd < 0 && std::chrono::steady_clock::now() < until;) {
    fd = ConnectWithoutWaiting(path);
    if (fd < 0) std::this_thread::sleep_for(5ms);
  }
  if (fd < 0) return false;
  const auto ping = ndis::EncodeControlRequest(ndis::ControlRequest{1, IOCTL_HLVN_PING, 0, {}});
  std::uint8_t reply[64];
  pollfd polled{fd, POLLIN, 0};
  const bool answered = send(fd, ping.data(), ping.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(ping.size()) &&
                        poll(&polled, 1, 1000) == 1 && recv(fd, reply, sizeof reply, 0) >= 16;
  const auto parsed = answered ? ndis::ParseControlReply(std::span(reply, 16), nullptr) : std::nullopt;
  close(fd);
  return parsed && parsed->status == 0;
}

TEST(ControlDeviceFlood, OneClientCannotExhaustZelnicdForTheOthers) {
  ZelnicdProcess zelnicd;
  ASSERT_TRUE(zelnicd.waitForDevice()) << zelnicd.output();
  auto other = ControlDeviceClient::open(zelnicd.devicePath());
  ASSERT_TRUE(other);
  ASSERT_EQ(other->ioctl(IOCTL_HLVN_PING, {}, 0).status, 0u);
  const std::size_t baseline = Descriptors(zelnicd.pid());
  // Room for a few dozen descriptors beyond what zelnicd holds now.
  const rlim_t room = baseline + 40;
  const rlimit limit{room, room};
  ASSERT_EQ(prlimit(zelnicd.pid(), RLIMIT_NOFILE, &limit, nullptr), 0);

  auto flooder = ControlDeviceClient::open(zelnicd.devicePath());
  ASSERT_TRUE(flooder);
  std::size_t refused = 0;
  for (std::uint32_t i = 0; i < 300; ++i) {
    const int event = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    const std::uint32_t code = i % 2 == 0 ? IOCTL_HLVN_REGISTER_EVENT : IOCTL_HLVN_REGISTER_REMOVE_EVENT;
    if (flooder->ioctl(code, Words({i}), 0, event, 2s).status != 0) ++refused;
    close(event);
  }
  EXPECT_EQ(refused, 0u);  // each replaced the one of its code before
  // The flooder's connection and the latest event of each code, nothing more.
  EXPECT_LE(Descriptors(zelnicd.pid()), baseline + 3);

  // Connections until zelnicd's limit and its backlog are full (a refused one is tried again
  // while zelnicd may still accept).
  std::vector<int> connections;
  for (const auto until = std::chrono::steady_clock::now() + 3s;
       connections.size() < 100 && std::chrono::steady_clock::now() < until;) {
    if (const int fd = ConnectWithoutWaiting(zelnicd.devicePath()); fd >= 0) {
      connections.push_back(fd);
    } else {
      std::this_thread::sleep_for(5ms);
    }
  }
  EXPECT_GT(connections.size(), 40u);  // beyond the limit, the last ones waiting in the backlog
  EXPECT_LT(CpuShare(zelnicd.pid(), 1000ms), 0.2);  // at the limit it does not spin

  const auto asked = std::chrono::steady_clock::now();
  EXPECT_EQ(other->ioctl(IOCTL_HLVN_PING, {}, 0, -1, 1s).status, 0u);
  EXPECT_LT(std::chrono::steady_clock::now() - asked, 200ms);

  for (int fd : connections) close(fd);
  flooder.reset();
  const auto end = std::chrono::steady_clock::now() + 5s;
  while (Descriptors(zelnicd.pid()) > baseline && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(Descriptors(zelnicd.pid()), baseline);
  EXPECT_LT(CpuShare(zelnicd.pid(), 500ms), 0.2);
  EXPECT_TRUE(ANewClientIsAnswered(zelnicd.devicePath()));
  EXPECT_EQ(other->ioctl(IOCTL_HLVN_PING, {}, 0, -1, 1s).status, 0u);
}

}  // namespace
}  // namespace zelnicd
