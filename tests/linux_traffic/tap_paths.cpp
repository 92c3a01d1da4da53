#include "tests/linux_traffic/tap_paths.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <thread>
#include <vector>

namespace linux_traffic {
namespace {

constexpr char kStationTap[] = "zt0";
constexpr char kWiredTap[] = "zt1";
constexpr std::uint16_t kPort = 5001;

peers::NetworkNamespace MakeNamespace() {
  std::string whyNot;
  auto space = peers::NetworkNamespace::Create(&whyNot);
  if (!space) throw std::runtime_error("Linux traffic through TAPs needs root: " + whyNot);
  return std::move(*space);
}

std::uint64_t Fnv1a(std::uint64_t hash, const std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 0x100000001b3ULL;
  return hash;
}

void SetTimeouts(int fd) {
  const timeval limit{10, 0};  // guards against a hung path; a working one never waits this long
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

sockaddr_in WiredEndpoint() {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(kPort);
  inet_pton(AF_INET, kWiredAddress, &address.sin_addr);
  return address;
}

}  // namespace

TapPath::TapPath() : station_(MakeNamespace()), wired_(MakeNamespace()) {}

void TapPath::Configure(const std::string& stationTap, const std::string& wiredTap) {
  station_->Run({"ip", "addr", "add", std::string(kStationAddress) + "/24", "dev", stationTap});
  station_->Run({"ip", "link", "set", stationTap, "up"});
  wired_->Run({"ip", "addr", "add", std::string(kWiredAddress) + "/24", "dev", wiredTap});
  wired_->Run({"ip", "link", "set", wiredTap, "up"});
}

std::string TapPath::WiredNamespacePath() const {
  return "/proc/" + std::to_string(getpid()) + "/fd/" + std::to_string(wired_->fd());
}

DriverTapPath::DriverTapPath(const std::string& zelnicd, const std::string& world,
                             const std::string& ssid, const std::string& accessPoint) {
  const std::string log = dir_.File("zelnicd.log");
  const int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (logFd < 0) throw std::runtime_error("cannot create " + log);
  std::vector<std::string> command = {"env", "ZELNIC_RUN_DIR=" + dir_.File("run"),
                                      "ZELCON_REGISTRY_ROOT=" + RegistryRoot(), zelnicd,
                                      "--world", world, "--pcap", PcapPath(), "--tap", kStationTap,
                                      "--ap-tap", accessPoint + ":" + kWiredTap + ":" + WiredNamespacePath()};
  if (!ssid.empty()) command.insert(command.end(), {"--connect", ssid});
  zelnicd_ = station_->Start(command, logFd);
  close(logFd);
  // Start-up, not a protocol timer: poll the log.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (Log().find("wired to tap") == std::string::npos) {
    if (!zelnicd_.Running() || std::chrono::steady_clock::now() > deadline) {
      throw std::runtime_error("zelnicd did not bind its TAPs:\n" + Log());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  Configure(kStationTap, kWiredTap);
}

int DriverTapPath::Stop() { return zelnicd_.Stop(std::chrono::seconds(10)); }

// One thread copies each frame a TAP gives straight to the other TAP.
struct RawTapPath::Wire {
  std::unique_ptr<ndis::TapDevice> ends[2];
  int stop = eventfd(0, EFD_CLOEXEC);
  std::thread copier;

  void Copy() {
    std::vector<std::uint8_t> buffer(65536);
    for (;;) {
      pollfd ready[3] = {{ends[0]->fd(), POLLIN, 0}, {ends[1]->fd(), POLLIN, 0}, {stop, POLLIN, 0}};
      if (poll(ready, 3, -1) < 0 && errno != EINTR) return;
      if (ready[2].revents != 0) return;
      for (int from = 0; from < 2; ++from) {
        if (ready[from].revents == 0) continue;
        std::size_t length = 0;
        for (ndis::TapDevice::ReadResult r; (r = ends[from]->read(buffer, length)) != ndis::TapDevice::ReadResult::Empty;) {
          if (r == ndis::TapDevice::ReadResult::Frame) ends[1 - from]->write(std::span(buffer.data(), length));
        }
      }
    }
  }
  ~Wire() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t told = write(stop, &one, sizeof one);
    if (copier.joinable()) copier.join();
    close(stop);
  }
};

RawTapPath::RawTapPath() : wire_(std::make_unique<Wire>()) {
  std::string error;
  Wire& wire = *wire_;
  station_->RunInside([&] { wire.ends[0] = ndis::TapDevice::open(kStationTap, "", error); });
  if (wire.ends[0]) wire.ends[1] = ndis::TapDevice::open(kWiredTap, WiredNamespacePath(), error);
  if (!wire.ends[0] || !wire.ends[1]) throw std::runtime_error("raw TAP pair: " + error);
  wire.copier = std::thread([&wire] { wire.Copy(); });
  Configure(kStationTap, kWiredTap);
}

RawTapPath::~RawTapPath() = default;

Transfer TcpTransfer(TapPath& path, std::size_t bytes) {
  const sockaddr_in endpoint = WiredEndpoint();
  const int listener = path.wired().RunInside([] { return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); });
  const int one = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (bind(listener, reinterpret_cast<const sockaddr*>(&endpoint), sizeof endpoint) != 0 ||
      listen(listener, 1) != 0) {
    close(listener);
    throw std::runtime_error("cannot listen on the wired side");
  }
  std::vector<std::uint8_t> data(bytes);
  for (std::size_t i = 0; i < bytes; ++i) data[i] = static_cast<std::uint8_t>(i * 7 + (i >> 9));
  const std::uint64_t sentHash = Fnv1a(0xcbf29ce484222325ULL, data.data(), data.size());

  Transfer result;
  std::uint64_t receivedHash = 0xcbf29ce484222325ULL;
  std::thread receiver([&] {
    pthread_setname_np(pthread_self(), "tcp receiver");
    const int connection = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) return;
    SetTimeouts(connection);
    std::vector<std::uint8_t> buffer(65536);
    for (;;) {
      const ssize_t n = recv(connection, buffer.data(), buffer.size(), 0);
      if (n <= 0) break;
      receivedHash = Fnv1a(receivedHash, buffer.data(), static_cast<std::size_t>(n));
      result.bytesReceived += static_cast<std::size_t>(n);
    }
    close(connection);
  });
  const auto start = std::chrono::steady_clock::now();
  const int sender = path.station().RunInside([] { return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); });
  SetTimeouts(sender);
  if (connect(sender, reinterpret_cast<const sockaddr*>(&endpoint), sizeof endpoint) == 0) {
    for (std::size_t at = 0; at < data.size();) {
      const ssize_t n = send(sender, data.data() + at, data.size() - at, MSG_NOSIGNAL);
      if (n <= 0) break;
      at += static_cast<std::size_t>(n);
    }
    shutdown(sender, SHUT_WR);
  } else {
    shutdown(listener, SHUT_RDWR);  // the receiver's accept ends
  }
  receiver.join();
  result.elapsed = std::chrono::steady_clock::now() - start;
  close(sender);
  close(listener);
  result.intact = result.bytesReceived == bytes && receivedHash == sentHash;
  return result;
}

}  // namespace linux_traffic
