#include "driver/core/ccx_iapp.h"

#include <algorithm>
#include <cstring>

#include "driver/core/little_endian.h"

namespace zelnic::core {
namespace {

constexpr std::uint32_t kHeaderBytes = 24;         // SNAP, length, type, subtype, two addresses
constexpr std::uint32_t kRequestHeaderBytes = 28;  // + dialog token, activation delay, offset
constexpr std::uint32_t kRequestElementBytes = 12;

std::uint16_t BigEndian16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }

bool IsIapp(const std::uint8_t* body, std::uint32_t length) {
  return length >= kHeaderBytes && IsIappFrame(body, length);
}

bool AllZero(const std::uint8_t* p, std::uint32_t n) {
  return std::all_of(p, p + n, [](std::uint8_t b) { return b == 0; });
}

}  // namespace

bool IsIappFrame(const std::uint8_t* body, std::uint32_t length) {
  return body != nullptr && length >= sizeof kIappSnap && std::memcmp(body, kIappSnap, sizeof kIappSnap) == 0;
}

IappRefusal ParseMeasurementRequest(const std::uint8_t* body, std::uint32_t length, CcxRequestSet& out) {
  out = CcxRequestSet{};
  if (body == nullptr || length < kHeaderBytes) return IappRefusal::TooShort;
  if (!IsIapp(body, length)) return IappRefusal::NotIapp;
  if (body[10] != kIappTypeMeasurement || body[11] != kIappSubtypeRequest) return IappRefusal::NotARequest;
  if (!AllZero(body + 12, 12)) return IappRefusal::AddressedElsewhere;
  if (length < kRequestHeaderBytes) return IappRefusal::TooShort;
  out.dialogToken = BigEndian16(body + 24);
  out.activationDelay = body[26];
  out.measurementOffset = body[27];
  std::uint32_t at = kRequestHeaderBytes;
  // Each element is read only when its 4-byte header and its whole declared length are in
  // the frame; its fields need at least 8 bytes.
  while (at + 4 <= length) {
    const std::uint16_t id = Get16(body + at);
    const std::uint16_t elementLength = Get16(body + at + 2);
    if (at + 4 + elementLength > length) break;
    const std::uint8_t* e = body + at + 4;
    at += 4 + elementLength;
    if (id != kMeasurementRequestElement || elementLength < kRequestElementBytes - 4) continue;
    if (e[3] == static_cast<std::uint8_t>(MeasurementType::Skipped)) continue;
    if (out.count == out.requests.size()) break;  // the pool is full: the rest is dropped
    CcxMeasurementRequest& r = out.requests[out.count++];
    r.token = Get16(e);
    r.mode = e[2];
    r.type = e[3];
    r.channel = e[4];
    r.scanMode = e[5];
    r.duration = Get16(e + 6);
  }
  return IappRefusal::None;
}

unsigned ParseAdjacentApList(const std::uint8_t* body, std::uint32_t length, ReceivedAp* out, unsigned capacity) {
  if (body == nullptr || !IsIapp(body, length)) return 0;
  if (body[10] != kIappTypeReport || body[11] != 0) return 0;
  const std::uint32_t iappLength = BigEndian16(body + 8);
  if (iappLength <= 24) return 0;
  // The walk never passes the received length, whatever the IAPP length claims.
  const std::uint32_t end = std::min<std::uint32_t>(length, 8 + iappLength);
  unsigned filled = 0;
  std::uint32_t at = kHeaderBytes;
  constexpr std::uint32_t kFixed = 4 + 4 + 6 + 2 + 2;  // ID, length, OUI word, BSSID, channel, SSID length
  while (end >= at && end - at >= 19) {
    const std::uint8_t* e = body + at;
    if (BigEndian16(e) != kAdjacentApElement) break;
    const std::uint32_t elementLength = BigEndian16(e + 2);
    if (elementLength + 4 > end - at || elementLength + 4 < kFixed) break;
    std::uint16_t ssidLength = BigEndian16(e + 16);
    ssidLength = static_cast<std::uint16_t>(std::min<std::uint32_t>({ssidLength, 32, elementLength + 4 - kFixed}));
    if (filled < capacity) {
      ReceivedAp& ap = out[filled++];
      ap = ReceivedAp{};
      std::memcpy(ap.bssid.data(), e + 8, 6);
      ap.channel = BigEndian16(e + 14);
      ap.ssidLength = ssidLength;
      std::memcpy(ap.ssid.data(), e + kFixed, ssidLength);
    }
    at += 4 + elementLength;
  }
  return filled;
}

}  // namespace zelnic::core
