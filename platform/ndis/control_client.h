#pragma once
// The user-mode side of a control device served over a socket (control_device_server.h):
// open by path, one buffered I/O control at a time, an eventfd handed over with a request.
#include <chrono>
#include <cstdint>
#include <optional>
#include <sys/types.h>
#include <sys/uio.h>
#include <span>
#include <string>
#include <vector>

#include "platform/ndis/control_protocol.h"

namespace ndis {

class ControlDeviceClient {
public:
  // Connects to the device's socket; null (with `error`) when nobody serves it.
  static std::optional<ControlDeviceClient> open(const std::string& path, std::string* error = nullptr);
  ControlDeviceClient(ControlDeviceClient&& other) noexcept;
  ControlDeviceClient& operator=(ControlDeviceClient&& other) noexcept;
  ControlDeviceClient(const ControlDeviceClient&) = delete;
  ControlDeviceClient& operator=(const ControlDeviceClient&) = delete;
  ~ControlDeviceClient();  // closing is IRP_MJ_CLOSE

  struct Result {
    std::uint32_t status = 0xC0000001;  // NTSTATUS; STATUS_UNSUCCESSFUL when the server did not answer
    std::vector<std::uint8_t> output;
    bool answered = false;
  };
  // Sends one request (with `eventFd` passed along when not -1) and waits for its reply at
  // most `timeout`. A connection that failed stays failed.
  Result ioctl(std::uint32_t code, std::span<const std::uint8_t> input, std::uint32_t outputCapacity,
               int eventFd = -1, std::chrono::milliseconds timeout = std::chrono::seconds(10));
  bool connected() const { return fd_ >= 0; }
  // The connection's socket, to watch for the server's end (a hang-up); -1 once failed.
  int descriptor() const { return fd_; }
  // Sends raw bytes as one message, with descriptors passed along (tests of the server's
  // refusals); at most kMaxDescriptors of them.
  static constexpr std::size_t kMaxDescriptors = 8;
  bool sendRaw(std::span<const std::uint8_t> message, std::span<const int> descriptors = {});
  std::optional<ControlReply> receiveReply(std::chrono::milliseconds timeout);

private:
  explicit ControlDeviceClient(int fd) : fd_(fd) {}
  void fail();
  bool sendPieces(std::span<const iovec> pieces, std::span<const int> descriptors);
  // Waits for the next message at most `timeout`; its length, or -1.
  ssize_t receive(std::chrono::milliseconds timeout);
  int fd_ = -1;
  std::uint32_t nextId_ = 1;
  std::chrono::milliseconds receiveTimeout_{-1};  // what the socket's SO_RCVTIMEO says now
  std::vector<std::uint8_t> replyBuffer_;         // one reply at a time, made at the first
};

}  // namespace ndis
