#include "tests/peers/network_namespace.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace peers {
namespace {

int OpenCurrentNamespace() {
  int fd = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error(std::string("open net namespace: ") + std::strerror(errno));
  return fd;
}

// A thread left in the wrong namespace would poison everything after it.
void EnterOrDie(int fd) {
  if (setns(fd, CLONE_NEWNET) != 0) {
    std::perror("setns back to the test's network namespace");
    std::abort();
  }
}

void WriteSetting(const char* path, const char* value) {
  int fd = open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return;  // no IPv6 in this kernel: nothing to turn off
  ssize_t ignored = write(fd, value, std::strlen(value));
  (void)ignored;
  close(fd);
}

}  // namespace

NetworkNamespace::Entered::Entered(int target) : home_(OpenCurrentNamespace()) {
  if (setns(target, CLONE_NEWNET) != 0) {
    close(home_);
    throw std::runtime_error(std::string("setns: ") + std::strerror(errno));
  }
}

NetworkNamespace::Entered::~Entered() {
  EnterOrDie(home_);
  close(home_);
}

std::optional<NetworkNamespace> NetworkNamespace::Create(std::string* whyNot) {
  const int home = OpenCurrentNamespace();
  if (unshare(CLONE_NEWNET) != 0) {
    const int error = errno;
    close(home);
    if (error == EPERM || error == EACCES) {
      if (whyNot) {
        *whyNot = std::string("cannot make a network namespace (") + std::strerror(error) +
                  "): real-peer tests need root or CAP_SYS_ADMIN and CAP_NET_ADMIN";
      }
      return std::nullopt;
    }
    throw std::runtime_error(std::string("unshare(CLONE_NEWNET): ") + std::strerror(error));
  }
  const int created = OpenCurrentNamespace();
  EnterOrDie(home);
  close(home);
  NetworkNamespace space(created);
  space.Run({"ip", "link", "set", "lo", "up"});
  return space;
}

NetworkNamespace::~NetworkNamespace() {
  if (fd_ >= 0) close(fd_);
}

void NetworkNamespace::Run(const std::vector<std::string>& argv) {
  std::string output;
  const int code = RunProgram(argv, &output, fd_);
  if (code != 0) {
    std::string line;
    for (const auto& a : argv) line += a + " ";
    throw std::runtime_error(line + "failed (" + std::to_string(code) + "): " + output);
  }
}

std::pair<std::string, std::string> NetworkNamespace::AddVethPair() {
  static std::atomic<unsigned> counter{0};
  char base[16];
  std::snprintf(base, sizeof base, "zl%x%02x", static_cast<unsigned>(getpid()) & 0xFFFFFF,
                counter++ & 0xFF);
  const std::string a = std::string(base) + "a";
  const std::string b = std::string(base) + "b";
  RunInside([] {
    WriteSetting("/proc/sys/net/ipv6/conf/default/disable_ipv6", "1");
    WriteSetting("/proc/sys/net/ipv6/conf/all/disable_ipv6", "1");
  });
  Run({"ip", "link", "add", a, "type", "veth", "peer", "name", b});
  Run({"ip", "link", "set", a, "up"});
  Run({"ip", "link", "set", b, "up"});
  return {a, b};
}

}  // namespace peers
