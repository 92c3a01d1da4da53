#include "sim/air/swiftbond_access_point.h"

#include <cstring>

namespace simair {
namespace {

constexpr std::size_t kDataHeaderBytes = 24;
constexpr std::uint8_t kSnap[8] = {0xAA, 0xAA, 0x03, 0x02, 0x5A, 0x9C, 0x00, 0x01};

bool IsSwiftBondRequestTo(const AirFrame& frame, const MacAddress& bssid) {
  const auto& b = frame.bytes;
  if (b.size() < kDataHeaderBytes + sizeof kSnap) return false;
  const bool data = ((b[0] >> 2) & 3) == 2 && (b[0] >> 4) == 0;  // plain data, no QoS field
  const bool toDs = (b[1] & 0x03) == 0x01;
  return data && toDs && std::memcmp(b.data() + 4, bssid.data(), 6) == 0 &&
         std::memcmp(b.data() + kDataHeaderBytes, kSnap, sizeof kSnap) == 0;
}

}  // namespace

AccessPoint::HookId AttachSwiftBondResponder(AccessPoint& ap, SwiftBondResponder& responder) {
  return ap.addFrameHook([&ap, &responder](const AirFrame& frame, const Reception&) {
    const MacAddress bssid = ap.address();
    if (!IsSwiftBondRequestTo(frame, bssid)) return false;
    MacAddress station;
    std::memcpy(station.data(), frame.bytes.data() + 10, 6);
    const std::uint8_t* body = frame.bytes.data() + kDataHeaderBytes;
    auto reply = responder.answer(bssid.data(), station.data(), body, frame.bytes.size() - kDataHeaderBytes);
    if (!reply.empty()) ap.sendData(station, bssid, dot11::Bytes(reply.begin(), reply.end()));
    return true;
  });
}

}  // namespace simair
