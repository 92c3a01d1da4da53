#pragma once
// What a real-time executor sleeps on: the wall clock, a wake from another thread, and the
// files it watches (edge-triggered: a file is reported once each time data arrives after it
// was read empty). An epoll descriptor and an eventfd.
#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace ndis {

class Poller {
public:
  // Throws std::system_error when the descriptors cannot be made.
  Poller();
  ~Poller();
  Poller(const Poller&) = delete;
  Poller& operator=(const Poller&) = delete;

  // False (errno set) when the file cannot be watched.
  bool add(int fd, std::uint64_t token);
  void remove(int fd);
  // Waits up to `timeout` (none: until something happens; zero: only looks) for a wake or
  // a watched file; writes the tokens of the files that became readable, at most
  // `capacity`, and returns how many.
  std::size_t wait(std::optional<std::chrono::nanoseconds> timeout, std::uint64_t* tokens, std::size_t capacity);
  // From any thread: the current or next wait returns.
  void wake();

private:
  int epoll_ = -1;
  int wakeFd_ = -1;
};

}  // namespace ndis
