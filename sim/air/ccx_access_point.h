#pragma once
// A CCX access point of the simulated air, written from the CCX frame formats: the beacon
// elements a CCX access point carries (Aironet element with CKIP flags and contention
// windows, AP transmit power, CCX version and presence, QoS parameters), IAPP radio-
// measurement requests to a station (on demand, or after each association) with the reports
// it answers kept for checking, the adjacent-AP reports and lists stations send, and the
// CCKM element a reassociation carries.
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/ndis/scheduler.h"
#include "sim/air/access_point.h"
#include "sim/air/air_log.h"

namespace simair {

struct CcxBeaconOptions {
  std::uint8_t ckipFlags = 0;           // Aironet element byte 10 (0x10 key permutation, 0x08 CMIC)
  std::uint16_t cwMin = 15;             // Aironet element words at 6 and 8 (offsets from the ID)
  std::uint16_t cwMax = 1023;
  std::optional<std::uint8_t> apTxPowerDbm;  // the AP transmit-power element
  std::uint8_t ccxVersion = 4;
  std::optional<std::array<std::uint8_t, 16>> qos;  // four access-category records
};

// The beacon elements, whole (for AccessPointConfig::extraElements), and the presence
// element body (for vendorElements) that marks a CCX access point.
std::vector<dot11::Bytes> CcxBeaconElements(const CcxBeaconOptions& options);
dot11::Bytes CcxPresenceBody();
// The AP transmit-power element (ID 150) for `dbm`.
dot11::Bytes CcxApPowerElement(std::uint8_t dbm);

struct CcxMeasurementAsk {
  std::uint16_t token = 0;
  std::uint8_t mode = 0;  // bit 0: parallel
  std::uint8_t type = 1;  // 1 channel load, 2 noise histogram, 3 beacon
  std::uint8_t channel = 0;
  std::uint8_t scanMode = 0;  // beacon: 0 passive, 1 active, 2 beacon table
  std::uint16_t durationTu = 0;
};
inline constexpr std::uint8_t kCcxChannelLoad = 1, kCcxNoiseHistogram = 2, kCcxBeacon = 3;

// One report element the station sent (ID 39).
struct CcxReportElement {
  std::uint16_t token = 0;
  std::uint8_t mode = 0;
  std::uint8_t type = 0;
  std::uint8_t channel = 0;
  std::uint16_t durationTu = 0;
  std::vector<std::uint8_t> fields;  // what follows the duration
};

struct CcxReceivedReport {
  std::int64_t atMicros = 0;
  MacAddress station{};
  std::uint16_t dialogToken = 0;
  bool wellFormed = false;  // IAPP length, addresses and every element fit the frame
  std::vector<CcxReportElement> elements;
};

struct CcxAdjacentReport {
  MacAddress station{};
  MacAddress previousBssid{};
  std::uint16_t channel = 0;
  std::vector<std::uint8_t> ssid;
  std::uint16_t seconds = 0;
};

// One record of an adjacent-AP list frame (type 0x40) a station sent.
struct CcxApListRecord {
  MacAddress station{};
  std::uint8_t type = 0;
  MacAddress bssid{};
  std::array<std::uint8_t, 16> ssid{};
};

class CcxAccessPoint {
 public:
  // Adds its frame hook to the access point's; removes it when it goes,
  // so it must go before the access point.
  CcxAccessPoint(ndis::Scheduler& scheduler, AccessPoint& ap);
  ~CcxAccessPoint();
  CcxAccessPoint(const CcxAccessPoint&) = delete;
  CcxAccessPoint& operator=(const CcxAccessPoint&) = delete;

  // A radio-measurement request to an associated station; false when it was not sent.
  bool requestMeasurements(const MacAddress& station, std::uint16_t dialogToken, std::uint8_t activationDelay,
                           std::uint8_t offset, const std::vector<CcxMeasurementAsk>& asks,
                           const MacAddress& destination = {});
  // `delay` after each association of a station, one request for all of `asks` (dialog
  // tokens from 1 on).
  void askAfterEachAssociation(std::vector<CcxMeasurementAsk> asks, ndis::Micros delay);
  // Tells of the requests sent and of the reports read.
  void setLog(AirLog log) { log_ = std::move(log); }

  const std::vector<CcxReceivedReport>& reports() const { return reports_; }
  const std::vector<CcxAdjacentReport>& adjacentReports() const { return adjacent_; }
  const std::vector<CcxApListRecord>& apLists() const { return apLists_; }
  // Reassociation requests seen, and whether each carried a CCKM element (ID 156).
  const std::vector<bool>& reassociationsWithCckm() const { return reassociations_; }

 private:
  bool take(const AirFrame& frame);
  void readReport(const MacAddress& station, const std::uint8_t* body, std::size_t length);
  void readAdjacent(const MacAddress& station, const std::uint8_t* body, std::size_t length);
  void readApList(const MacAddress& station, const std::uint8_t* body, std::size_t length);

  void associated(const MacAddress& station);

  ndis::Scheduler& scheduler_;
  AccessPoint& ap_;
  AccessPoint::HookId hook_;
  std::optional<AccessPoint::HookId> watcher_;
  std::vector<CcxMeasurementAsk> asks_;
  ndis::Micros askDelay_{0};
  std::uint16_t nextDialogToken_ = 1;
  std::map<MacAddress, ndis::EventId> pendingAsks_;
  AirLog log_;
  std::vector<CcxReceivedReport> reports_;
  std::vector<CcxAdjacentReport> adjacent_;
  std::vector<CcxApListRecord> apLists_;
  std::vector<bool> reassociations_;
};

}  // namespace simair
