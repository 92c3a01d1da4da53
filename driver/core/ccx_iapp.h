#pragma once
// IAPP frames of a CCX access point: radio-measurement requests and the adjacent-AP list it
// sends, read from the frame body (the SNAP header onward). Every read is bounded by the
// received length; anything that is not of the accepted form is ignored.
#include <array>
#include <cstdint>

namespace zelnic::core {

constexpr std::uint8_t kIappSnap[8] = {0xAA, 0xAA, 0x03, 0x00, 0x40, 0x96, 0x00, 0x00};
constexpr std::uint8_t kIappTypeReport = 0x30;
constexpr std::uint8_t kIappTypeMeasurement = 0x32;
constexpr std::uint8_t kIappTypeApList = 0x40;
constexpr std::uint8_t kIappSubtypeRequest = 0x01;
constexpr std::uint8_t kIappSubtypeReport = 0x81;
constexpr std::uint8_t kIappSubtypeApList = 0x8E;
constexpr std::uint16_t kMeasurementRequestElement = 38;
constexpr std::uint16_t kMeasurementReportElement = 39;
constexpr std::uint16_t kAdjacentApElement = 0x009B;

enum class MeasurementType : std::uint8_t { ChannelLoad = 1, NoiseHistogram = 2, Beacon = 3, Skipped = 4 };

struct CcxMeasurementRequest {
  std::uint16_t token = 0;
  std::uint8_t mode = 0;  // bit 0: parallel with the one before
  std::uint8_t type = 0;
  std::uint8_t channel = 0;
  std::uint8_t scanMode = 0;  // beacon: 0 passive, 1 active, 2 beacon table
  std::uint16_t duration = 0;  // TU
  bool Parallel() const { return (mode & 1) != 0; }
};

// Requests come from a fixed pool: the receive path does not allocate.
constexpr unsigned kMeasurementPoolEntries = 16;

struct CcxRequestSet {
  std::uint16_t dialogToken = 0;
  std::uint8_t activationDelay = 0;
  std::uint8_t measurementOffset = 0;
  unsigned count = 0;
  std::array<CcxMeasurementRequest, kMeasurementPoolEntries> requests{};
};

// Why a frame was not taken as a measurement request (traced by the caller).
enum class IappRefusal {
  None,
  TooShort,
  NotIapp,
  NotARequest,
  AddressedElsewhere,  // requests come with both addresses zero
};

// The body starts with the IAPP SNAP header.
bool IsIappFrame(const std::uint8_t* body, std::uint32_t length);

// A type 0x32 subtype 1 frame: its header and every element 38 of length 8 or more that
// lies wholly within the frame (type 4 skipped); elements beyond the pool are dropped.
IappRefusal ParseMeasurementRequest(const std::uint8_t* body, std::uint32_t length, CcxRequestSet& out);

struct ReceivedAp {
  std::array<std::uint8_t, 6> bssid{};
  std::uint16_t channel = 0;
  std::uint16_t ssidLength = 0;
  std::array<std::uint8_t, 32> ssid{};
};

constexpr unsigned kReceivedApEntries = 16;

// A type 0x30 subtype 0 frame with IAPP length above 24: its 0x009B elements in turn while
// at least 19 bytes remain; the walk stops at another ID or an element that does not fit.
// Entries beyond `capacity` are dropped. Returns the number filled.
unsigned ParseAdjacentApList(const std::uint8_t* body, std::uint32_t length, ReceivedAp* out, unsigned capacity);

}  // namespace zelnic::core
