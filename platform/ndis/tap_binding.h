#pragma once
// The protocol side of one adapter bound to a TAP interface, as a protocol driver binds
// above a miniport: frames the kernel writes to the TAP are handed to the miniport's send
// path, and every receive indication of the adapter is written to the TAP. The TAP takes the
// adapter's current address, so the kernel accepts what is addressed to the adapter. The
// host's loop calls pump() whenever work() says there is something to carry; a frame from
// the TAP wakes the scheduler.
#include <memory>
#include <string>

#include "platform/ndis/host.h"
#include "platform/ndis/tap_device.h"

namespace ndis {

class TapBinding {
 public:
  // The adapter must be initialized. Nothing, with the reason in `error`, when the TAP cannot
  // be opened or the adapter's address cannot be read or given to it.
  static std::unique_ptr<TapBinding> bind(NdisHost& host, const std::string& tapName,
                                          std::string& error);

  bool work() const;
  // Outside any event of the scheduler (the loop that drives it).
  void pump();

  const TapDevice& tap() const { return *tap_; }
  std::uint64_t sendsFailed() const { return sendsFailed_; }

 private:
  TapBinding(NdisHost& host, std::unique_ptr<TapDevice> tap) : host_(host), tap_(std::move(tap)) {}

  NdisHost& host_;
  std::unique_ptr<TapDevice> tap_;
  std::uint64_t sendsFailed_ = 0;
};

}  // namespace ndis
