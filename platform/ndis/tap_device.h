#pragma once
// A Linux TAP interface as a protocol's wire: read() takes one Ethernet frame the kernel
// wrote to the interface, write() gives the kernel one as received. The descriptor is
// non-blocking; whoever drives it watches fd() (an executor with Scheduler::watch, a thread
// with poll). Nothing here allocates per frame. Needs CAP_NET_ADMIN.
#include <sys/uio.h>

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace ndis {

class TapDevice {
 public:
  // Attaches to (or creates) the TAP interface `name`, inside the network namespace at
  // `netnsPath` when one is given (the interface lives there; this process stays where it
  // is). Nothing, with the reason in `error`, when it cannot.
  static std::unique_ptr<TapDevice> open(const std::string& name, const std::string& netnsPath, std::string& error);
  // Takes over a descriptor that gives one frame per read as a TAP does: a SOCK_SEQPACKET
  // socket stands in for a TAP where none can be had (tests, fuzzing). It is made
  // non-blocking; it has no interface, so setAddress() fails on it.
  static std::unique_ptr<TapDevice> adopt(int fd, std::string name);
  ~TapDevice();
  TapDevice(const TapDevice&) = delete;
  TapDevice& operator=(const TapDevice&) = delete;

  const std::string& name() const { return name_; }
  int fd() const { return fd_; }
  // The interface's own address, so the kernel takes the frames addressed to the adapter.
  bool setAddress(const std::array<std::uint8_t, 6>& address, std::string& error);

  enum class ReadResult : std::uint8_t { Frame, Empty, TooLong };
  // One waiting frame into `buffer` (its length in `length`); Empty when none waits. A frame
  // that does not fit the buffer is read and dropped (TooLong), so the next one can come.
  ReadResult read(std::span<std::uint8_t> buffer, std::size_t& length);
  // One frame to the kernel, whole or gathered from pieces; a frame the interface refuses
  // (down, full) is counted.
  void write(std::span<const std::uint8_t> frame);
  void write(std::span<const iovec> pieces);

  std::uint64_t framesIn() const { return framesIn_; }
  std::uint64_t framesOut() const { return framesOut_; }
  std::uint64_t framesRefused() const { return framesRefused_; }
  std::uint64_t framesTooLong() const { return framesTooLong_; }

 private:
  TapDevice(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}

  int fd_;
  std::string name_;
  std::uint64_t framesIn_ = 0;
  std::uint64_t framesOut_ = 0;
  std::uint64_t framesRefused_ = 0;
  std::uint64_t framesTooLong_ = 0;
};

}  // namespace ndis
