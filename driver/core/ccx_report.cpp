#include "driver/core/ccx_report.h"

#include <cstring>

#include "driver/core/little_endian.h"

namespace zelnic::core {
namespace {

constexpr std::uint32_t kChannelLoadLimit = 1387;
constexpr std::uint32_t kNoiseHistogramLimit = 1380;
constexpr std::uint16_t kChannelLoadLength = 9;
constexpr std::uint16_t kNoiseHistogramLength = 16;
constexpr std::uint16_t kBeaconFixedLength = 32;
constexpr std::int32_t kWeakestReportedDbm = -90;
constexpr std::uint8_t kElementVendor = 221;

// The elements a beacon report carries: IDs 0..6 and vendor elements of length 6.
// Calls `visit` with each of them that lies wholly within the BSS's element block.
template <typename Visit>
void ForEachCopiedElement(const BeaconReportSource& bss, Visit visit) {
  for (std::uint32_t at = 0; at + 2 <= bss.elementsLength;) {
    const std::uint8_t id = bss.elements[at];
    const std::uint8_t length = bss.elements[at + 1];
    if (at + 2 + length > bss.elementsLength) break;
    if (id <= 6 || (id == kElementVendor && length == 6)) visit(bss.elements + at, 2u + length);
    at += 2u + length;
  }
}


void PutBig16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}

}  // namespace

void CcxReportBody::Start(const std::uint8_t* bssid, const std::uint8_t* station, std::uint16_t dialogToken) {
  std::memset(bytes_, 0, sizeof bytes_);
  std::memcpy(bytes_, kIappSnap, sizeof kIappSnap);
  bytes_[10] = kIappTypeMeasurement;
  bytes_[11] = kIappSubtypeReport;
  std::memcpy(bytes_ + 12, bssid, 6);
  std::memcpy(bytes_ + 18, station, 6);
  PutBig16(bytes_ + 24, dialogToken);
  length_ = 26;
}

std::uint8_t* CcxReportBody::AppendElementHeader(const CcxMeasurementRequest& r, std::uint16_t elementLength) {
  std::uint8_t* e = bytes_ + length_;
  Put16(e, kMeasurementReportElement);
  Put16(e + 2, elementLength);
  Put16(e + 4, r.token);
  e[6] = r.mode;
  e[7] = r.type;
  e[8] = r.channel;
  e[9] = 0;
  Put16(e + 10, r.duration);
  length_ += 4 + elementLength;
  return e + 12;
}

bool CcxReportBody::AddChannelLoad(const CcxMeasurementRequest& r, std::uint32_t firmwareLoad) {
  if (!Started() || length_ > kChannelLoadLimit) return false;
  *AppendElementHeader(r, kChannelLoadLength) = ReportValue(firmwareLoad);
  return true;
}

bool CcxReportBody::AddNoiseHistogram(const CcxMeasurementRequest& r, const std::uint32_t (&firmwareRpi)[8]) {
  if (!Started() || length_ > kNoiseHistogramLimit) return false;
  std::uint8_t* values = AppendElementHeader(r, kNoiseHistogramLength);
  for (int i = 0; i < 8; ++i) values[i] = ReportValue(firmwareRpi[i]);
  return true;
}

bool CcxReportBody::AddBeacon(const CcxMeasurementRequest& r, const BeaconReportSource& bss) {
  if (!Started()) return false;
  if (bss.rssiDbm < kWeakestReportedDbm) return true;
  std::uint32_t copied = 0;
  ForEachCopiedElement(bss, [&](const std::uint8_t*, std::uint32_t n) { copied += n; });
  if (length_ + 4 + kBeaconFixedLength + copied >= kReportBodyLimit) return false;
  CcxMeasurementRequest onBssChannel = r;
  onBssChannel.channel = bss.channel;
  std::uint8_t* e = AppendElementHeader(onBssChannel, static_cast<std::uint16_t>(kBeaconFixedLength + copied));
  e[0] = bss.phyType;
  e[1] = static_cast<std::uint8_t>(bss.rssiDbm + 20);
  std::memcpy(e + 2, bss.bssid, 6);
  Put16(e + 8, bss.parentTsf);
  Put16(e + 10, bss.parentTsf >> 16);
  std::memcpy(e + 12, bss.timestamp, 8);
  Put16(e + 20, bss.beaconInterval);
  Put16(e + 22, bss.capability);
  std::uint8_t* out = e + 24;
  ForEachCopiedElement(bss, [&](const std::uint8_t* element, std::uint32_t n) {
    std::memcpy(out, element, n);
    out += n;
  });
  return true;
}

std::uint32_t CcxReportBody::Finish() {
  if (Started()) PutBig16(bytes_ + 8, static_cast<std::uint16_t>(length_ - 8));
  return length_;
}

}  // namespace zelnic::core
