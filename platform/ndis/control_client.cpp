#include "platform/ndis/control_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace ndis {

std::optional<ControlDeviceClient> ControlDeviceClient::open(const std::string& path, std::string* error) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    if (error != nullptr) *error = path + ": path too long for a socket";
    return std::nullopt;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0 || connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (error != nullptr) *error = path + ": " + std::strerror(errno);
    if (fd >= 0) close(fd);
    return std::nullopt;
  }
  return ControlDeviceClient(fd);
}

ControlDeviceClient::ControlDeviceClient(ControlDeviceClient&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), nextId_(other.nextId_) {}

ControlDeviceClient& ControlDeviceClient::operator=(ControlDeviceClient&& other) noexcept {
  if (this != &other) {
    fail();
    fd_ = std::exchange(other.fd_, -1);
    nextId_ = other.nextId_;
  }
  return *this;
}

ControlDeviceClient::~ControlDeviceClient() { fail(); }

void ControlDeviceClient::fail() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool ControlDeviceClient::sendRaw(std::span<const std::uint8_t> message) {
  if (fd_ < 0) return false;
  return send(fd_, message.data(), message.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(message.size());
}

std::optional<ControlReply> ControlDeviceClient::receiveReply(std::chrono::milliseconds timeout) {
  if (fd_ < 0) return std::nullopt;
  pollfd polled{fd_, POLLIN, 0};
  if (poll(&polled, 1, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
  std::vector<std::uint8_t> buffer(kControlReplyHeaderSize + kControlMaxData + 1);
  const ssize_t length = recv(fd_, buffer.data(), buffer.size(), 0);
  if (length <= 0) return std::nullopt;
  return ParseControlReply(std::span(buffer.data(), static_cast<std::size_t>(length)), nullptr);
}

ControlDeviceClient::Result ControlDeviceClient::ioctl(std::uint32_t code, std::span<const std::uint8_t> input,
                                                       std::uint32_t outputCapacity, int eventFd,
                                                       std::chrono::milliseconds timeout) {
  Result result;
  if (fd_ < 0) return result;
  ControlRequest request;
  request.id = nextId_++;
  request.code = code;
  request.outputCapacity = outputCapacity;
  request.input.assign(input.begin(), input.end());
  const std::vector<std::uint8_t> message = EncodeControlRequest(request);

  iovec vector{const_cast<std::uint8_t*>(message.data()), message.size()};
  msghdr header{};
  header.msg_iov = &vector;
  header.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  if (eventFd >= 0) {
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&header);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(c), &eventFd, sizeof eventFd);
  }
  if (sendmsg(fd_, &header, MSG_NOSIGNAL) != static_cast<ssize_t>(message.size())) {
    fail();
    return result;
  }
  const std::optional<ControlReply> reply = receiveReply(timeout);
  // A lost or mismatched reply leaves the stream out of step: the connection ends.
  if (!reply || reply->id != request.id) {
    fail();
    return result;
  }
  result.answered = true;
  result.status = reply->status;
  result.output = reply->output;
  return result;
}

}  // namespace ndis
