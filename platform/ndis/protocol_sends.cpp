#include "platform/ndis/protocol_sends.h"

#include <cstring>

#include "platform/ndis/adapter_runtime.h"

namespace ndis {
namespace {

// The slot's number, kept in the packet's protocol-reserved area.
std::uint32_t SlotNumber(const NDIS_PACKET* packet) {
  std::uint32_t number;
  std::memcpy(&number, packet->ProtocolReserved, sizeof number);
  return number;
}

}  // namespace

ProtocolSends::ProtocolSends(AdapterRuntime& runtime, std::size_t slots, std::size_t slotBytes)
    : slotBytes_(slotBytes), room_(slots * slotBytes) {
  AdapterRuntime::PacketPool* packets = runtime.createPacketPool(static_cast<UINT>(slots), sizeof(std::uint32_t), true);
  AdapterRuntime::BufferPool* buffers = runtime.createBufferPool(true);
  packets->sends = this;
  slots_.reserve(slots);
  free_.reserve(slots);
  batch_.reserve(slots);
  for (std::size_t i = 0; i < slots; ++i) {
    std::uint8_t* bytes = room_.data() + i * slotBytes;
    NDIS_PACKET* packet = runtime.allocatePacket(*packets);
    const auto number = static_cast<std::uint32_t>(i);
    std::memcpy(packet->ProtocolReserved, &number, sizeof number);
    slots_.push_back(Slot{packet, runtime.allocateBuffer(*buffers, bytes, 0), bytes, false});
    free_.push_back(static_cast<std::uint32_t>(slots - 1 - i));  // taken from the back: slot 0 first
  }
}

std::span<std::uint8_t> ProtocolSends::room() {
  if (free_.empty()) return {};
  return {slots_[free_.back()].bytes, slotBytes_};
}

void ProtocolSends::commit(std::size_t length) {
  if (free_.empty() || length > slotBytes_) return;  // room() gave none, or not this much
  Slot& slot = slots_[free_.back()];
  free_.pop_back();
  slot.inFlight = true;
  slot.buffer->Next = nullptr;
  slot.buffer->ByteCount = static_cast<UINT>(length);
  NdisReinitializePacket(slot.packet);
  NdisChainBufferAtBack(slot.packet, slot.buffer);
  NDIS_SET_PACKET_STATUS(slot.packet, NDIS_STATUS_SUCCESS);
  batch_.push_back(slot.packet);
}

ProtocolSends::Slot* ProtocolSends::slotOf(const NDIS_PACKET* packet) {
  const std::uint32_t number = SlotNumber(packet);
  if (number >= slots_.size() || slots_[number].packet != packet) return nullptr;
  return &slots_[number];
}

bool ProtocolSends::complete(NDIS_PACKET* packet, NDIS_STATUS status) {
  Slot* slot = slotOf(packet);
  if (slot == nullptr || !slot->inFlight) return false;
  slot->inFlight = false;
  free_.push_back(static_cast<std::uint32_t>(slot - slots_.data()));
  if (protocol_ != nullptr) protocol_->sendComplete(packet, status);
  return true;
}

}  // namespace ndis
