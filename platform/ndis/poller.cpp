#include "platform/ndis/poller.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace ndis {
namespace {

constexpr std::uint64_t kWakeToken = ~std::uint64_t{0};
constexpr std::size_t kBatch = 16;

}  // namespace

Poller::Poller() {
  epoll_ = epoll_create1(EPOLL_CLOEXEC);
  wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (epoll_ < 0 || wakeFd_ < 0) {
    const int error = errno;
    if (epoll_ >= 0) close(epoll_);
    if (wakeFd_ >= 0) close(wakeFd_);
    throw std::system_error(error, std::generic_category(), "poller");
  }
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.u64 = kWakeToken;
  epoll_ctl(epoll_, EPOLL_CTL_ADD, wakeFd_, &event);
}

Poller::~Poller() {
  close(epoll_);
  close(wakeFd_);
}

bool Poller::add(int fd, std::uint64_t token) {
  epoll_event event{};
  event.events = EPOLLIN | EPOLLET;
  event.data.u64 = token;
  return epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event) == 0;
}

void Poller::remove(int fd) { epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr); }

std::size_t Poller::wait(std::optional<std::chrono::nanoseconds> timeout, std::uint64_t* tokens,
                         std::size_t capacity) {
  epoll_event events[kBatch];
  timespec limit{};
  if (timeout) {
    const std::int64_t ns = std::max<std::int64_t>(timeout->count(), 0);
    limit.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    limit.tv_nsec = static_cast<long>(ns % 1'000'000'000);
  }
  // Files beyond `capacity` stay ready in the kernel for the next wait.
  const int most = static_cast<int>(std::clamp<std::size_t>(capacity, 1, kBatch));
  const int count = epoll_pwait2(epoll_, events, most, timeout ? &limit : nullptr, nullptr);
  std::size_t found = 0;
  for (int i = 0; i < count; ++i) {
    if (events[i].data.u64 == kWakeToken) {
      std::uint64_t drained;
      [[maybe_unused]] const ssize_t n = read(wakeFd_, &drained, sizeof drained);
    } else {
      tokens[found++] = events[i].data.u64;
    }
  }
  return found;
}

void Poller::wake() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = write(wakeFd_, &one, sizeof one);
}

}  // namespace ndis
