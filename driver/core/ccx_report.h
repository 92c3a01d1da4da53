#pragma once
// The measurement report a station sends back to its CCX access point: one IAPP frame body
// (type 0x32, subtype 0x81) that grows by one report element per finished measurement.
#include <cstdint>

#include "driver/core/ccx_iapp.h"

namespace zelnic::core {

// Report bodies stay within one frame of the management queue.
constexpr std::uint32_t kReportBodyLimit = 1400;
constexpr unsigned kMaxFinishedReports = 10;

// What a beacon report says of one BSS.
struct BeaconReportSource {
  std::uint8_t channel = 0;
  std::uint8_t phyType = 0;  // 2: no OFDM rate, else 6
  std::int32_t rssiDbm = 0;
  const std::uint8_t* bssid = nullptr;
  std::uint32_t parentTsf = 0;  // the chip's time when the measurement began
  const std::uint8_t* timestamp = nullptr;  // 8 bytes
  std::uint16_t beaconInterval = 0;
  std::uint16_t capability = 0;
  const std::uint8_t* elements = nullptr;
  std::uint32_t elementsLength = 0;
};

class CcxReportBody {
 public:
  // Starts a body: SNAP, IAPP header to `bssid` from `station`, the dialog token.
  void Start(const std::uint8_t* bssid, const std::uint8_t* station, std::uint16_t dialogToken);
  bool Started() const { return length_ != 0; }
  // A channel-load element; refused (false) when the body is already beyond 1387 bytes.
  bool AddChannelLoad(const CcxMeasurementRequest& r, std::uint32_t firmwareLoad);
  // A noise-histogram element of eight firmware values; refused beyond 1380 bytes.
  bool AddNoiseHistogram(const CcxMeasurementRequest& r, const std::uint32_t (&firmwareRpi)[8]);
  // One beacon-report element for a BSS the station heard; its elements 0..6 and vendor
  // elements of length 6 are copied. A BSS heard below -90 dBm is left out; refused (false)
  // when the element would end at 1400 bytes or beyond.
  bool AddBeacon(const CcxMeasurementRequest& r, const BeaconReportSource& bss);
  // Sets the IAPP length; the body's length.
  std::uint32_t Finish();
  const std::uint8_t* Bytes() const { return bytes_; }
  std::uint32_t Length() const { return length_; }

 private:
  std::uint8_t* AppendElementHeader(const CcxMeasurementRequest& r, std::uint16_t elementLength);
  std::uint8_t bytes_[kReportBodyLimit + 32] = {};
  std::uint32_t length_ = 0;
};

// Firmware values of 256 or more are reported as 255.
inline std::uint8_t ReportValue(std::uint32_t firmware) {
  return firmware > 255 ? 255 : static_cast<std::uint8_t>(firmware);
}

}  // namespace zelnic::core
