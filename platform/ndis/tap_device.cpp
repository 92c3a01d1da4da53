#include "platform/ndis/tap_device.h"

#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <net/if_arp.h>
#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

namespace ndis {
namespace {

constexpr std::size_t kMaxFrame = 65536;
constexpr std::size_t kMaxInbound = 1024;  // frames waiting for the executor; more are dropped

std::string Why(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// Opens /dev/net/tun and binds it to `name`, in the current network namespace.
int AttachHere(const std::string& name, std::string& error) {
  const int fd = ::open("/dev/net/tun", O_RDWR | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    error = Why("cannot open /dev/net/tun");
    return -1;
  }
  ifreq request{};
  request.ifr_flags = IFF_TAP | IFF_NO_PI;
  std::strncpy(request.ifr_name, name.c_str(), IFNAMSIZ - 1);
  if (ioctl(fd, TUNSETIFF, &request) != 0) {
    error = Why(("cannot attach to TAP " + name).c_str());
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

std::unique_ptr<TapDevice> TapDevice::open(const std::string& name, const std::string& netnsPath,
                                           std::function<void()> wake, std::string& error) {
  if (name.empty() || name.size() >= IFNAMSIZ) {
    error = "a TAP name has 1 to " + std::to_string(IFNAMSIZ - 1) + " characters";
    return nullptr;
  }
  int fd = -1;
  if (netnsPath.empty()) {
    fd = AttachHere(name, error);
  } else {
    // Only this thread enters the namespace, and it comes back before anything else runs.
    const int home = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const int target = ::open(netnsPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (home < 0 || target < 0) {
      error = Why(("cannot open network namespace " + netnsPath).c_str());
    } else if (setns(target, CLONE_NEWNET) != 0) {
      error = Why(("cannot enter network namespace " + netnsPath).c_str());
    } else {
      fd = AttachHere(name, error);
      if (setns(home, CLONE_NEWNET) != 0) std::abort();  // never continue in the wrong namespace
    }
    if (home >= 0) close(home);
    if (target >= 0) close(target);
  }
  if (fd < 0) return nullptr;
  const int stopFd = eventfd(0, EFD_CLOEXEC);
  if (stopFd < 0) {
    error = Why("eventfd");
    close(fd);
    return nullptr;
  }
  return std::unique_ptr<TapDevice>(new TapDevice(fd, stopFd, name, std::move(wake)));
}

TapDevice::TapDevice(int fd, int stopFd, std::string name, std::function<void()> wake)
    : fd_(fd), stopFd_(stopFd), name_(std::move(name)), wake_(std::move(wake)) {
  reader_ = std::thread([this] { readLoop(); });
}

TapDevice::~TapDevice() {
  const std::uint64_t one = 1;
  (void)!::write(stopFd_, &one, sizeof one);
  reader_.join();
  close(stopFd_);
  close(fd_);
}

bool TapDevice::setAddress(const std::array<std::uint8_t, 6>& address, std::string& error) {
  ifreq request{};
  std::strncpy(request.ifr_name, name_.c_str(), IFNAMSIZ - 1);
  request.ifr_hwaddr.sa_family = ARPHRD_ETHER;
  std::memcpy(request.ifr_hwaddr.sa_data, address.data(), address.size());
  // TUNSETIFF's fd carries the interface, so the address is set through it wherever it lives.
  const bool ok = ioctl(fd_, SIOCSIFHWADDR, &request) == 0;
  if (!ok) error = Why(("cannot set the address of " + name_).c_str());
  return ok;
}

std::vector<TapDevice::Frame> TapDevice::takeInbound() {
  std::lock_guard lock(mutex_);
  waiting_ = false;
  return std::exchange(inbound_, {});
}

void TapDevice::write(std::span<const std::uint8_t> frame) {
  if (::write(fd_, frame.data(), frame.size()) == static_cast<ssize_t>(frame.size())) {
    ++framesOut_;
  } else {
    ++framesRefused_;
  }
}

void TapDevice::readLoop() {
  Frame buffer(kMaxFrame);
  for (;;) {
    pollfd ready[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    if (poll(ready, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (ready[1].revents != 0) return;
    bool got = false;
    for (;;) {
      const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
      if (n <= 0) break;
      std::lock_guard lock(mutex_);
      if (inbound_.size() < kMaxInbound) {
        inbound_.emplace_back(buffer.begin(), buffer.begin() + n);
        ++framesIn_;
        got = true;
      }
    }
    if (got) {
      waiting_ = true;
      wake_();
    }
  }
}

}  // namespace ndis
