#pragma once
// Simulates a full disk for one test: while it lives, writing past `bytes` into any file
// fails with EFBIG (root is not exempt, unlike permission checks).
#include <sys/resource.h>

#include <csignal>

namespace plat {

class TestFileSizeLimit {
public:
  explicit TestFileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~TestFileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  TestFileSizeLimit(const TestFileSizeLimit&) = delete;
  TestFileSizeLimit& operator=(const TestFileSizeLimit&) = delete;

private:
  rlimit saved_{};
  void (*oldHandler_)(int);
};

}  // namespace plat
