// A private, unnamed network namespace for one test. Only file descriptors and the
// processes inside hold it, so it vanishes with its veth pairs when the test ends, however
// it ends (the processes started inside die with the test).
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/peers/child_process.h"

namespace peers {

class NetworkNamespace {
 public:
  // The namespace with its loopback up; nullopt, with the reason in `whyNot`, when this
  // process may not make one (no CAP_SYS_ADMIN / CAP_NET_ADMIN). Other errors throw.
  static std::optional<NetworkNamespace> Create(std::string* whyNot);

  NetworkNamespace(NetworkNamespace&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  NetworkNamespace& operator=(NetworkNamespace&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  NetworkNamespace(const NetworkNamespace&) = delete;
  ~NetworkNamespace();

  int fd() const { return fd_; }

  // Runs `work` on this thread while it is inside the namespace (sockets made there stay
  // there), then returns the thread to where it was, also when `work` throws.
  template <class Work>
  auto RunInside(Work&& work) {
    Entered entered(fd_);
    return work();
  }

  // A program inside the namespace; see Spawn and RunProgram.
  ChildProcess Start(const std::vector<std::string>& argv, int outputFd = -1) {
    return Spawn(argv, outputFd, fd_);
  }
  // Runs `ip` and friends inside; throws with their output when they fail.
  void Run(const std::vector<std::string>& argv);

  // Makes a veth pair with names unique to this process and brings both ends up, IPv6
  // off so the only frames on it are the test's own. Returns the two names.
  std::pair<std::string, std::string> AddVethPair();

 private:
  explicit NetworkNamespace(int fd) : fd_(fd) {}

  class Entered {
   public:
    explicit Entered(int target);
    ~Entered();
    Entered(const Entered&) = delete;
    Entered& operator=(const Entered&) = delete;

   private:
    int home_;
  };

  int fd_ = -1;
};

}  // namespace peers
