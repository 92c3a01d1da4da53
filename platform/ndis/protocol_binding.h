#pragma once
// A protocol bound above the adapter, as NDIS calls a protocol driver's handlers: every
// received frame is handed to receive() while the miniport indicates it (the protocol copies
// what it keeps before returning; the packet goes back to the miniport by the return policy),
// and the sends it made with its own packets (NdisHost::sendProtocolPackets) complete to
// sendComplete(). Bound with NdisHost::bindProtocol; frames then no longer collect in
// takeReceived().
#include "platform/ndis/ndis.h"

namespace ndis {

class ProtocolBinding {
public:
  virtual void receive(const NDIS_PACKET& packet) = 0;
  virtual void sendComplete(NDIS_PACKET* packet, NDIS_STATUS status) = 0;

protected:
  ~ProtocolBinding() = default;
};

}  // namespace ndis
