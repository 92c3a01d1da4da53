#pragma once
// A Linux TAP interface as a protocol's wire: Ethernet frames the kernel writes to it come
// out of takeInbound(); frames given to write() reach the kernel as received. A thread reads
// the interface and calls `wake` after each frame, so an executor that sleeps until there is
// work learns of it. Needs CAP_NET_ADMIN.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace ndis {

class TapDevice {
 public:
  using Frame = std::vector<std::uint8_t>;

  // Attaches to (or creates) the TAP interface `name`, inside the network namespace at
  // `netnsPath` when one is given (the interface lives there; this process stays where it
  // is). Nothing, with the reason in `error`, when it cannot.
  static std::unique_ptr<TapDevice> open(const std::string& name, const std::string& netnsPath,
                                         std::function<void()> wake, std::string& error);
  ~TapDevice();
  TapDevice(const TapDevice&) = delete;
  TapDevice& operator=(const TapDevice&) = delete;

  const std::string& name() const { return name_; }
  // The interface's own address, so the kernel takes the frames addressed to the adapter.
  bool setAddress(const std::array<std::uint8_t, 6>& address, std::string& error);

  bool inboundWaiting() const { return waiting_.load(); }
  std::vector<Frame> takeInbound();
  // One frame to the kernel; a frame the interface refuses (down, full) is counted.
  void write(std::span<const std::uint8_t> frame);

  std::uint64_t framesIn() const { return framesIn_.load(); }
  std::uint64_t framesOut() const { return framesOut_; }
  std::uint64_t framesRefused() const { return framesRefused_; }

 private:
  TapDevice(int fd, int stopFd, std::string name, std::function<void()> wake);
  void readLoop();

  int fd_;
  int stopFd_;  // eventfd that ends the reader
  std::string name_;
  std::function<void()> wake_;
  std::mutex mutex_;
  std::vector<Frame> inbound_;
  std::atomic<bool> waiting_{false};
  std::atomic<std::uint64_t> framesIn_{0};
  std::uint64_t framesOut_ = 0;
  std::uint64_t framesRefused_ = 0;
  std::thread reader_;
};

}  // namespace ndis
