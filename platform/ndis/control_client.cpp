#include "platform/ndis/control_client.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
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
    : fd_(std::exchange(other.fd_, -1)),
      nextId_(other.nextId_),
      receiveTimeout_(other.receiveTimeout_),
      replyBuffer_(std::move(other.replyBuffer_)) {}

ControlDeviceClient& ControlDeviceClient::operator=(ControlDeviceClient&& other) noexcept {
  if (this != &other) {
    fail();
    fd_ = std::exchange(other.fd_, -1);
    nextId_ = other.nextId_;
    receiveTimeout_ = other.receiveTimeout_;
    replyBuffer_ = std::move(other.replyBuffer_);
  }
  return *this;
}

ControlDeviceClient::~ControlDeviceClient() { fail(); }

void ControlDeviceClient::fail() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool ControlDeviceClient::sendRaw(std::span<const std::uint8_t> message, std::span<const int> descriptors) {
  iovec piece{const_cast<std::uint8_t*>(message.data()), message.size()};
  return sendPieces(std::span(&piece, 1), descriptors);
}

bool ControlDeviceClient::sendPieces(std::span<const iovec> pieces, std::span<const int> descriptors) {
  if (fd_ < 0 || descriptors.size() > kMaxDescriptors) return false;
  std::size_t length = 0;
  for (const iovec& piece : pieces) length += piece.iov_len;
  msghdr message{};
  message.msg_iov = const_cast<iovec*>(pieces.data());
  message.msg_iovlen = pieces.size();
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxDescriptors)] = {};
  if (!descriptors.empty()) {
    message.msg_control = control;
    message.msg_controllen = CMSG_SPACE(sizeof(int) * descriptors.size());
    cmsghdr* c = CMSG_FIRSTHDR(&message);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int) * descriptors.size());
    std::memcpy(CMSG_DATA(c), descriptors.data(), sizeof(int) * descriptors.size());
  }
  return sendmsg(fd_, &message, MSG_NOSIGNAL) == static_cast<ssize_t>(length);
}

ssize_t ControlDeviceClient::receive(std::chrono::milliseconds timeout) {
  if (timeout != receiveTimeout_) {  // a blocking receive that gives up at the timeout
    const auto ms = std::max<std::int64_t>(timeout.count(), 1);
    const timeval limit{static_cast<time_t>(ms / 1000), static_cast<suseconds_t>(ms % 1000 * 1000)};
    if (setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0) return -1;
    receiveTimeout_ = timeout;
  }
  if (replyBuffer_.empty()) replyBuffer_.resize(kControlReplyHeaderSize + kControlMaxData + 1);
  ssize_t length;
  do {
    length = recv(fd_, replyBuffer_.data(), replyBuffer_.size(), 0);
  } while (length < 0 && errno == EINTR);
  return length;
}

std::optional<ControlReply> ControlDeviceClient::receiveReply(std::chrono::milliseconds timeout) {
  if (fd_ < 0) return std::nullopt;
  const ssize_t length = receive(timeout);
  if (length <= 0) return std::nullopt;
  return ParseControlReply(std::span(replyBuffer_.data(), static_cast<std::size_t>(length)), nullptr);
}

ControlDeviceClient::Result ControlDeviceClient::ioctl(std::uint32_t code, std::span<const std::uint8_t> input,
                                                       std::uint32_t outputCapacity, int eventFd,
                                                       std::chrono::milliseconds timeout) {
  Result result;
  if (fd_ < 0) return result;
  const std::uint32_t id = nextId_++;
  const auto header = EncodeControlRequestHeader(id, code, static_cast<std::uint32_t>(input.size()), outputCapacity);
  const iovec pieces[2] = {{const_cast<std::uint8_t*>(header.data()), header.size()},
                           {const_cast<std::uint8_t*>(input.data()), input.size()}};
  const std::span<const int> descriptors = eventFd >= 0 ? std::span<const int>(&eventFd, 1) : std::span<const int>();
  if (!sendPieces(std::span(pieces, input.empty() ? 1 : 2), descriptors)) {
    fail();
    return result;
  }
  std::optional<ControlReply> reply = receiveReply(timeout);
  // A lost or mismatched reply leaves the stream out of step: the connection ends.
  if (!reply || reply->id != id) {
    fail();
    return result;
  }
  result.answered = true;
  result.status = reply->status;
  result.output = std::move(reply->output);
  return result;
}

}  // namespace ndis
