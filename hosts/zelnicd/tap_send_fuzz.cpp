// 802.3 frames of any length and contents from the TAP to the driver, the way zelnicd serves
// its TAP: the TAP binding reads each frame into a send slot and hands the batch to the
// miniport's send path, against the started driver associated under any cipher (or with no
// link, where every send must fail). A socket that gives one frame per read stands in for the
// TAP. A frame of the slot's size or more is dropped and counted by the TAP's side; every
// frame handed on completes exactly once, and one shorter than an Ethernet header completes as
// failed. (Longer than 1,514 bytes is the sender's fault; the 802.11 side carries an MSDU of
// up to 2,304 bytes, so the driver may send it.)
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "driver/entry/testing/fuzz_driver.h"
#include "hosts/zelnicd/tap_serving.h"

namespace {

using zelnic::core::testing::Cipher;
using ndis::TapBinding;

constexpr Cipher kCiphers[] = {Cipher::kNone, Cipher::kWep, Cipher::kTkip, Cipher::kCcmp};
constexpr std::size_t kMaxFrames = 24;
constexpr std::size_t kLongestFrame = 3 * TapBinding::kFrameBytes;
constexpr std::size_t kEthernetHeader = 14;
const std::uint8_t kServer[6] = {0x02, 0x00, 0x00, 0x00, 0x09, 0x01};

struct TapSide {
  zelnicd::TapServing serving;  // the adapter's TAP alone, as `zelnicd --tap` serves it
  int kernelEnd = -1;           // where the kernel would write the frames
  TapBinding& binding() { return *serving.adapter; }
};

TapSide& Tap(zelnic::testing::DriverHarness& h) {
  static auto* side = [&] {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) __builtin_trap();
    const int room = 1 << 20;  // every frame of one input fits before the binding reads
    setsockopt(ends[1], SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
    std::string error;
    auto* made = new TapSide();  // lives as long as the driver it is bound to
    made->serving.adapter = TapBinding::attach(*h.host, ndis::TapDevice::adopt(ends[0], "fuzz-tap"), error);
    if (!made->serving.adapter) {
      std::fprintf(stderr, "%s\n", error.c_str());
      __builtin_trap();
    }
    made->kernelEnd = ends[1];
    return made;
  }();
  return *side;
}

// A frame waits on the binding's end.
bool Waiting(int fd) {
  std::uint8_t byte;
  return recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) >= 0;
}

[[noreturn]] void Broken(const char* what, std::uint64_t got, std::uint64_t expected) {
  std::fprintf(stderr, "%s: %llu, expected %llu\n", what, static_cast<unsigned long long>(got),
               static_cast<unsigned long long>(expected));
  __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Input: the link (bits 0-1 the cipher, bit 2 no link), then frames of {u8 flags, u16 length,
  // bytes}: the bytes fill the frame as far as the input goes, then a pattern; flag bit 0
  // addresses the frame from the station to a server, as the kernel's own frames are.
  if (size < 1) return 0;
  auto& driver = zelnic::testing::FuzzDriver::Instance();
  zelnic::testing::DriverHarness& h = driver.harness();
  TapSide& tap = Tap(h);
  driver.Reassociate(kCiphers[data[0] % std::size(kCiphers)]);
  const bool linked = (data[0] & 4) == 0;
  if (!linked) h.run([&] { driver.core()->MediaDisconnected = 1; });

  const std::uint64_t inBefore = tap.binding().tap().framesIn();
  const std::uint64_t tooLongBefore = tap.binding().tap().framesTooLong();
  const std::uint64_t failedBefore = tap.binding().sendsFailed();
  std::uint64_t handedOn = 0, tooLong = 0, headerless = 0;
  std::vector<std::uint8_t> frame;
  std::size_t at = 1;
  for (std::size_t n = 0; n < kMaxFrames && at + 3 <= size; ++n) {
    const std::uint8_t flags = data[at];
    const std::size_t length = std::min<std::size_t>(data[at + 1] | data[at + 2] << 8, kLongestFrame);
    at += 3;
    frame.assign(length, 0);
    const std::size_t taken = std::min(length, size - at);
    std::copy_n(data + at, taken, frame.begin());
    for (std::size_t i = taken; i < length; ++i) frame[i] = static_cast<std::uint8_t>(i);
    at += taken;
    if ((flags & 1) != 0 && length >= kEthernetHeader) {
      std::memcpy(frame.data(), kServer, 6);
      std::copy(zelnic::core::testing::kStation.begin(), zelnic::core::testing::kStation.end(), frame.begin() + 6);
    }
    if (length == 0) continue;  // a TAP never gives an empty read: it means "nothing waits"
    if (send(tap.kernelEnd, frame.data(), length, MSG_DONTWAIT) != static_cast<ssize_t>(length)) __builtin_trap();
    if (length >= TapBinding::kFrameBytes) {
      ++tooLong;
    } else {
      ++handedOn;
      if (length < kEthernetHeader) ++headerless;
    }
  }
  // As zelnicd's loop: the executor hears the TAP, the serving is pumped while frames wait and
  // a slot is free, and time runs so the chip sends and the slots come back.
  const int tapEnd = tap.binding().tap().fd();
  for (int round = 0; Waiting(tapEnd) || tap.serving.work(); ++round) {
    if (round == 1000) Broken("frames left unread", Waiting(tapEnd), 0);
    h.advance(std::chrono::milliseconds(1));
    if (tap.serving.work()) tap.serving.pump();
  }
  h.advance(std::chrono::milliseconds(50));
  const auto& device = tap.binding().tap();
  if (device.framesTooLong() - tooLongBefore != tooLong) Broken("frames dropped as too long", device.framesTooLong() - tooLongBefore, tooLong);
  if (device.framesIn() - inBefore != handedOn) Broken("frames handed on", device.framesIn() - inBefore, handedOn);
  if (h.host->protocolSends().freeSlots() != TapBinding::kSendSlots) {
    Broken("send slots free after the sends completed", h.host->protocolSends().freeSlots(), TapBinding::kSendSlots);
  }
  const std::uint64_t failed = tap.binding().sendsFailed() - failedBefore;
  if (failed < headerless) Broken("frames without an Ethernet header that completed as failed", failed, headerless);
  if (!linked && failed != handedOn) Broken("sends failed without a link", failed, handedOn);
  driver.CheckRules();
  return 0;
}
