#include "platform/ndis/tap_binding.h"

#include <array>
#include <cerrno>
#include <cstring>

#include "platform/ndis/adapter_runtime.h"

namespace ndis {
namespace {

// Buffers of one received packet written to the TAP at once; a longer chain is copied.
constexpr std::size_t kGatherPieces = 16;

}  // namespace

std::unique_ptr<TapBinding> TapBinding::bind(NdisHost& host, const std::string& tapName, std::string& error) {
  const OidResult address = host.query(OID_802_3_CURRENT_ADDRESS, 6);
  if (address.status != NDIS_STATUS_SUCCESS || address.bytesDone != 6) {
    error = "the adapter does not tell its current address";
    return nullptr;
  }
  auto tap = TapDevice::open(tapName, "", error);
  if (!tap) return nullptr;
  std::array<std::uint8_t, 6> mac{};
  std::memcpy(mac.data(), address.data.data(), mac.size());
  if (!tap->setAddress(mac, error)) return nullptr;
  return attach(host, std::move(tap), error);
}

std::unique_ptr<TapBinding> TapBinding::attach(NdisHost& host, std::unique_ptr<TapDevice> tap, std::string& error) {
  const std::string name = tap->name();
  std::unique_ptr<TapBinding> binding(new TapBinding(host, std::move(tap)));
  if (!binding->watch_) {
    error = "cannot watch TAP " + name + ": " + std::strerror(errno);
    return nullptr;
  }
  return binding;
}

TapBinding::TapBinding(NdisHost& host, std::unique_ptr<TapDevice> tap) : host_(host), tap_(std::move(tap)) {
  host_.bindProtocol(this, kSendSlots, kFrameBytes);
  watch_ = host_.scheduler().watch(tap_->fd(), EventKind::Host, "tap frames", [this] { readable_ = true; });
}

TapBinding::~TapBinding() {
  host_.scheduler().unwatch(watch_);
  host_.bindProtocol(nullptr, 0, 0);
}

void TapBinding::pump() {
  ProtocolSends& sends = host_.protocolSends();
  while (readable_) {
    const std::span<std::uint8_t> room = sends.room();
    if (room.empty()) break;  // every slot is with the miniport: the TAP waits
    std::size_t length = 0;
    switch (tap_->read(room, length)) {
      case TapDevice::ReadResult::Frame:
        sends.commit(length);
        break;
      case TapDevice::ReadResult::TooLong:
        break;
      case TapDevice::ReadResult::Empty:
        readable_ = false;
        break;
    }
  }
  host_.sendProtocolBatch();
}

void TapBinding::receive(const NDIS_PACKET& packet) {
  std::array<iovec, kGatherPieces> pieces;
  std::size_t count = 0;
  const NDIS_BUFFER* buffer = packet.Private.Head;
  for (; buffer != nullptr && count < pieces.size(); buffer = buffer->Next) {
    pieces[count++] = iovec{buffer->VirtualAddress, buffer->ByteCount};
  }
  if (buffer == nullptr) {
    tap_->write(std::span<const iovec>(pieces.data(), count));
    return;
  }
  // A longer chain is gathered here first (a frame that does not fit is not carried).
  std::array<std::uint8_t, kFrameBytes> copy;
  std::size_t used = 0;
  for (buffer = packet.Private.Head; buffer != nullptr; buffer = buffer->Next) {
    if (buffer->ByteCount > copy.size() - used) return;
    std::memcpy(copy.data() + used, buffer->VirtualAddress, buffer->ByteCount);
    used += buffer->ByteCount;
  }
  tap_->write(std::span<const std::uint8_t>(copy.data(), used));
}

void TapBinding::sendComplete(NDIS_PACKET*, NDIS_STATUS status) {
  if (status != NDIS_STATUS_SUCCESS) ++sendsFailed_;
}

}  // namespace ndis
