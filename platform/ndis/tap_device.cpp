#include "platform/ndis/tap_device.h"

#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <net/if_arp.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace ndis {
namespace {

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
                                           std::string& error) {
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
  return std::unique_ptr<TapDevice>(new TapDevice(fd, name));
}

std::unique_ptr<TapDevice> TapDevice::adopt(int fd, std::string name) {
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  return std::unique_ptr<TapDevice>(new TapDevice(fd, std::move(name)));
}

TapDevice::~TapDevice() { close(fd_); }

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

TapDevice::ReadResult TapDevice::read(std::span<std::uint8_t> buffer, std::size_t& length) {
  for (;;) {
    const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return ReadResult::Empty;
    // The kernel cuts a frame to the buffer: one that fills it may have been longer.
    if (static_cast<std::size_t>(n) >= buffer.size()) {
      ++framesTooLong_;
      return ReadResult::TooLong;
    }
    ++framesIn_;
    length = static_cast<std::size_t>(n);
    return ReadResult::Frame;
  }
}

void TapDevice::write(std::span<const std::uint8_t> frame) {
  if (::write(fd_, frame.data(), frame.size()) == static_cast<ssize_t>(frame.size())) {
    ++framesOut_;
  } else {
    ++framesRefused_;
  }
}

void TapDevice::write(std::span<const iovec> pieces) {
  std::size_t total = 0;
  for (const iovec& piece : pieces) total += piece.iov_len;
  if (::writev(fd_, pieces.data(), static_cast<int>(pieces.size())) == static_cast<ssize_t>(total)) {
    ++framesOut_;
  } else {
    ++framesRefused_;
  }
}

}  // namespace ndis
