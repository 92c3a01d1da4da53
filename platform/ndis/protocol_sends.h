#pragma once
// The frames a bound protocol sends, without allocating per frame: a fixed number of slots,
// each a packet with one buffer over room of its own, made once. A slot is taken, filled,
// handed to the miniport in a batch, and free again when the miniport completes its send.
// The room belongs to the host, not to the protocol, so a send the miniport still holds when
// the protocol unbinds stays valid until it completes.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/ndis/ndis.h"
#include "platform/ndis/protocol_binding.h"

namespace ndis {

class AdapterRuntime;

class ProtocolSends {
public:
  ProtocolSends(AdapterRuntime& runtime, std::size_t slots, std::size_t slotBytes);
  ProtocolSends(const ProtocolSends&) = delete;
  ProtocolSends& operator=(const ProtocolSends&) = delete;

  // Where completions are told (null: nowhere).
  void attach(ProtocolBinding* protocol) { protocol_ = protocol; }

  // The room of a free slot for the next frame; empty when every slot is in flight.
  std::span<std::uint8_t> room();
  // The frame of `length` bytes written into room() joins the batch.
  void commit(std::size_t length);
  std::span<NDIS_PACKET* const> batch() const { return batch_; }
  void clearBatch() { batch_.clear(); }
  std::size_t freeSlots() const { return free_.size(); }
  std::size_t slotBytes() const { return slotBytes_; }

  // The runtime, when the miniport completes one of these packets; false when it was not in
  // flight (completed twice).
  bool complete(NDIS_PACKET* packet, NDIS_STATUS status);

private:
  struct Slot {
    NDIS_PACKET* packet;
    NDIS_BUFFER* buffer;
    std::uint8_t* bytes;
    bool inFlight;
  };
  Slot* slotOf(const NDIS_PACKET* packet);

  std::size_t slotBytes_;
  std::vector<std::uint8_t> room_;
  std::vector<Slot> slots_;
  std::vector<std::uint32_t> free_;
  std::vector<NDIS_PACKET*> batch_;
  ProtocolBinding* protocol_ = nullptr;
};

}  // namespace ndis
