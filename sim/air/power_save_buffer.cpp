#include "sim/air/power_save_buffer.h"

#include <algorithm>
#include <array>

namespace simair {

bool PowerSaveBuffer::hold(std::uint16_t aid, BufferedFrame frame) {
  auto& queue = frames_[aid];
  if (aid == 0 || aid > kMaxAid || queue.size() >= kFramesPerStation) {
    if (queue.empty()) frames_.erase(aid);
    ++dropped_;
    return false;
  }
  queue.push_back(std::move(frame));
  return true;
}

std::optional<BufferedFrame> PowerSaveBuffer::takeOne(std::uint16_t aid) {
  const auto found = frames_.find(aid);
  if (found == frames_.end()) return std::nullopt;
  BufferedFrame frame = std::move(found->second.front());
  found->second.pop_front();
  if (found->second.empty()) frames_.erase(found);
  return frame;
}

std::size_t PowerSaveBuffer::count(std::uint16_t aid) const {
  const auto found = frames_.find(aid);
  return found == frames_.end() ? 0 : found->second.size();
}

void PowerSaveBuffer::forget(std::uint16_t aid) { frames_.erase(aid); }

dot11::Bytes PowerSaveBuffer::timBody(std::uint8_t dtimCount, std::uint8_t dtimPeriod) const {
  // The traffic indication virtual bitmap: bit n of byte n/8 for association id n.
  std::array<std::uint8_t, 251> bitmap{};
  std::size_t first = bitmap.size(), last = 0;
  for (const auto& [aid, queue] : frames_) {
    const std::size_t byte = aid / 8;
    bitmap[byte] |= static_cast<std::uint8_t>(1u << (aid % 8));
    first = std::min(first, byte);
    last = std::max(last, byte);
  }
  dot11::Bytes body{dtimCount, dtimPeriod};
  if (first == bitmap.size()) {  // nothing buffered: offset 0, one zero byte
    body.push_back(0);
    body.push_back(0);
    return body;
  }
  // The partial bitmap starts at an even byte (N1) and ends at the last non-zero one (N2).
  const std::size_t n1 = first & ~std::size_t{1};
  body.push_back(static_cast<std::uint8_t>(n1));  // bitmap offset in bits 1-7, i.e. N1 itself
  body.insert(body.end(), bitmap.begin() + static_cast<std::ptrdiff_t>(n1),
              bitmap.begin() + static_cast<std::ptrdiff_t>(last) + 1);
  return body;
}

}  // namespace simair
