#pragma once
// The protocol side of one adapter bound to a TAP interface, as a protocol driver binds
// above a miniport: frames the kernel writes to the TAP are handed to the miniport's send
// path, and every receive indication of the adapter is written to the TAP while the
// miniport indicates it. The TAP takes the adapter's current address, so the kernel accepts
// what is addressed to the adapter. The executor watches the TAP; the host's loop calls
// pump() whenever work() says frames wait and a send slot is free. No frame allocates.
#include <memory>
#include <string>

#include "platform/ndis/host.h"
#include "platform/ndis/protocol_binding.h"
#include "platform/ndis/tap_device.h"

namespace ndis {

class TapBinding final : public ProtocolBinding {
 public:
  // Frames the miniport may hold at once, and the largest frame carried (an Ethernet frame
  // of the usual MTU and more; a longer one is dropped and counted by the TAP).
  static constexpr std::size_t kSendSlots = 64;
  static constexpr std::size_t kFrameBytes = 2048;

  // The adapter must be initialized, and this called on its executor's thread. Nothing, with
  // the reason in `error`, when the TAP cannot be opened or the adapter's address cannot be
  // read or given to it.
  static std::unique_ptr<TapBinding> bind(NdisHost& host, const std::string& tapName, std::string& error);
  // The same over a device already open (its address left as it is): what bind() does once
  // the TAP has the adapter's address. Nothing, with the reason, when it cannot be watched.
  static std::unique_ptr<TapBinding> attach(NdisHost& host, std::unique_ptr<TapDevice> tap, std::string& error);
  ~TapBinding();
  TapBinding(const TapBinding&) = delete;
  TapBinding& operator=(const TapBinding&) = delete;

  bool work() const { return readable_ && host_.protocolSends().freeSlots() > 0; }
  // Outside any event of the scheduler (the loop that drives it).
  void pump();

  const TapDevice& tap() const { return *tap_; }
  std::uint64_t sendsFailed() const { return sendsFailed_; }

  // ProtocolBinding
  void receive(const NDIS_PACKET& packet) override;
  void sendComplete(NDIS_PACKET* packet, NDIS_STATUS status) override;

 private:
  TapBinding(NdisHost& host, std::unique_ptr<TapDevice> tap);

  NdisHost& host_;
  std::unique_ptr<TapDevice> tap_;
  Scheduler::WatchId watch_;
  bool readable_ = true;  // until a read finds the TAP empty
  std::uint64_t sendsFailed_ = 0;
};

}  // namespace ndis
