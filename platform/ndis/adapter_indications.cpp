// What the miniport hands up: received packets (copied, or handed to the bound protocol,
// then given back by the return policy), send and request completions (matched to what is outstanding; anything else is
// recorded as spurious, never a crash), status indications; and the leak report.
#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "platform/ndis/adapter_runtime.h"

namespace ndis {

void AdapterRuntime::indicateReceive(NDIS_PACKET** packets, UINT count) {
  auto& in = indications_;
  for (UINT i = 0; i < count; ++i) {
    NDIS_PACKET* packet = packets[i];
    PacketPool* pool = packet != nullptr ? packetPoolOf(packet->Private.Pool) : nullptr;
    if (pool == nullptr || pool->adapter != this || !pool->holds(packet)) {
      violation("NdisMIndicateReceivePacket with a packet that is not allocated");
      continue;
    }
    if (std::find(in.held.begin(), in.held.end(), packet) != in.held.end()) {
      violation("NdisMIndicateReceivePacket with a packet the protocols still hold");
      continue;
    }
    if (in.protocol != nullptr) {
      in.protocol->receive(*packet);
    } else {
      EthFrame frame;
      for (NDIS_BUFFER* buffer = packet->Private.Head; buffer != nullptr; buffer = buffer->Next) {
        const auto* bytes = static_cast<const std::uint8_t*>(buffer->VirtualAddress);
        frame.insert(frame.end(), bytes, bytes + buffer->ByteCount);
      }
      Indications::keepLatest(in.received, Indications::kReceivedKept, std::move(frame));
    }
    // A packet indicated with NDIS_STATUS_RESOURCES is the miniport's again at once.
    if (NDIS_GET_PACKET_STATUS(packet) == NDIS_STATUS_RESOURCES) continue;
    in.held.push_back(packet);
    if (in.returnPolicy.mode == ReturnPolicy::Mode::Manual) continue;
    const Micros delay = in.returnPolicy.mode == ReturnPolicy::Mode::Delayed ? in.returnPolicy.delay : Micros(0);
    queue(delay, EventKind::Return, "return packet", [this, packet] { returnPacket(packet); });
  }
}

void AdapterRuntime::returnPacket(NDIS_PACKET* packet) {
  auto& held = indications_.held;
  auto found = std::find(held.begin(), held.end(), packet);
  if (found == held.end()) return;  // already given back
  held.erase(found);
  const auto& h = handlers();
  if (h.ReturnPacketHandler == nullptr) {
    violation("a packet was indicated but the miniport has no return-packet handler");
    return;
  }
  callDriver(DISPATCH_LEVEL, "return-packet handler", [&] { h.ReturnPacketHandler(miniportContext_, packet); });
}

void AdapterRuntime::sendComplete(NDIS_PACKET* packet, NDIS_STATUS status) {
  auto& in = indications_;
  // A bound protocol's packet goes back to its slot.
  const PacketPool* pool = packet != nullptr ? packetPoolOf(packet->Private.Pool) : nullptr;
  if (pool != nullptr && pool->sends != nullptr && pool->adapter == this && pool->holds(packet)) {
    if (!pool->sends->complete(packet, status)) {
      in.spurious.push_back({SpuriousCompletion::Kind::Send, status, scheduler_.now()});
    }
    return;
  }
  auto found = in.hostSends.find(packet);
  if (found == in.hostSends.end()) {
    in.spurious.push_back({SpuriousCompletion::Kind::Send, status, scheduler_.now()});
    return;
  }
  in.sendCompletions.push_back({found->second.id, status});
  in.hostSends.erase(found);
  for (NDIS_BUFFER* buffer = packet->Private.Head; buffer != nullptr;) {
    NDIS_BUFFER* next = buffer->Next;
    freeBuffer(buffer, "send completion");
    buffer = next;
  }
  packet->Private.Head = packet->Private.Tail = nullptr;
  freePacket(packet, "send completion");
}

void AdapterRuntime::requestComplete(PendingRequest kind, NDIS_STATUS status, bool addressingReset) {
  auto& in = indications_;
  if (in.pending != kind || in.requestCompleted) {
    static constexpr SpuriousCompletion::Kind kKinds[] = {
        SpuriousCompletion::Kind::Query, SpuriousCompletion::Kind::Query, SpuriousCompletion::Kind::Set,
        SpuriousCompletion::Kind::Reset};
    in.spurious.push_back({kKinds[static_cast<int>(kind)], status, scheduler_.now()});
    return;
  }
  in.requestCompleted = true;
  in.requestStatus = status;
  in.resetAddressing = addressingReset;
}

LeakReport AdapterRuntime::leaks() const {
  LeakReport report;
  for (const auto& [tag, usage] : memory_.outstanding()) {
    report.memory[TagText(tag)] = LeakReport::TagUsage{usage.blocks, usage.bytes};
  }
  report.sharedBlocks = dma_.liveBlocks();
  report.sharedBytes = dma_.liveBytes();
  report.armedTimers = armedTimers() + timersLeftArmed_;
  for (const auto& [address, pool] : packetPools_) {
    if (pool->hostOwned) continue;
    ++report.packetPools;
    report.packets += pool->live;
  }
  for (const auto& [address, pool] : bufferPools_) {
    if (pool->hostOwned) continue;
    ++report.bufferPools;
    report.buffers += pool->live;
  }
  report.mappedWindows = mappedWindows_.size();
  report.portRanges = portRanges_.size();
  report.interruptRegistered = interrupt_ != nullptr;
  report.mapRegisters = mapRegisters_.allocated;
  report.devices = devices_.size();
  report.eventReferences = eventReferences();
  report.openConfigurations = configurations_.size();
  report.sendsNotCompleted = running_ ? 0 : indications_.hostSends.size();
  return report;
}

std::string TagText(std::uint32_t tag) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((tag >> (8 * i)) & 0xFF);
    text += (c >= 0x20 && c < 0x7F) ? c : '.';
  }
  return text;
}

bool LeakReport::empty() const { return describe().empty(); }

std::string LeakReport::describe() const {
  std::ostringstream out;
  for (const auto& [tag, usage] : memory) {
    out << "memory " << tag << ": " << usage.blocks << " blocks, " << usage.bytes << " bytes\n";
  }
  auto line = [&](std::size_t count, const char* what) {
    if (count != 0) out << what << ": " << count << "\n";
  };
  line(sharedBlocks, "shared memory blocks");
  line(armedTimers, "armed timers");
  line(packetPools, "packet pools");
  line(packets, "packets");
  line(bufferPools, "buffer pools");
  line(buffers, "buffers");
  line(mappedWindows, "mapped register windows");
  line(portRanges, "port ranges");
  line(interruptRegistered ? 1 : 0, "registered interrupt");
  line(mapRegisters ? 1 : 0, "map registers");
  line(devices, "control devices");
  line(eventReferences, "event references");
  line(openConfigurations, "open configurations");
  line(sendsNotCompleted, "sends never completed");
  return out.str();
}

}  // namespace ndis
