#include "sim/air/ccx_access_point.h"

#include <cstring>

#include "sim/air/association_security.h"

namespace simair {
namespace {

constexpr std::uint8_t kIappSnap[8] = {0xAA, 0xAA, 0x03, 0x00, 0x40, 0x96, 0x00, 0x00};
constexpr std::uint8_t kCiscoOui[3] = {0x00, 0x40, 0x96};
constexpr std::size_t kDataHeaderBytes = 24;
constexpr std::size_t kIappHeaderBytes = 24;
constexpr std::uint8_t kElementAironet = 133;
constexpr std::uint8_t kElementApTxPower = 150;
constexpr std::uint8_t kElementVendor = 221;

std::uint16_t Big16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }
std::uint16_t Little16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

void AppendLittle16(dot11::Bytes& b, std::uint16_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}

std::string ChannelText(std::uint8_t channel) { return "channel " + std::to_string(channel); }

std::string MeasurementName(std::uint8_t type) {
  switch (type) {
    case kCcxChannelLoad: return "channel load";
    case kCcxNoiseHistogram: return "noise histogram";
    case kCcxBeacon: return "beacon";
    default: return "type " + std::to_string(type);
  }
}

std::string DescribeAsk(const CcxMeasurementAsk& ask) {
  static const char* const kScanModes[] = {"passive", "active", "table"};
  std::string text = MeasurementName(ask.type) + " on " + ChannelText(ask.channel);
  if (ask.type == kCcxBeacon) text += ask.scanMode < 3 ? std::string(" ") + kScanModes[ask.scanMode] : " scan mode ?";
  return text + " for " + std::to_string(ask.durationTu) + " TU";
}

// A report element as the log shows it: the channel load (of 255), the eight noise ranges, or
// the BSSID a beacon report names.
std::string DescribeResult(const CcxReportElement& e) {
  std::string text = MeasurementName(e.type) + " on " + ChannelText(e.channel) + ": ";
  if (e.type == kCcxChannelLoad && e.fields.size() >= 1) return text + std::to_string(e.fields[0]) + "/255";
  if (e.type == kCcxNoiseHistogram && e.fields.size() >= 8) {
    for (std::size_t i = 0; i < 8; ++i) text += (i == 0 ? "" : " ") + std::to_string(e.fields[i]);
    return text;
  }
  if (e.type == kCcxBeacon && e.fields.size() >= 8) {
    MacAddress bssid;
    std::memcpy(bssid.data(), e.fields.data() + 2, 6);
    const int dbm = static_cast<std::int8_t>(e.fields[1]) - 20;  // the report carries dBm + 20
    return text + dot11::FormatAddress(bssid) + " at " + std::to_string(dbm) + " dBm";
  }
  return text + std::to_string(e.fields.size()) + " bytes";
}

dot11::Bytes CiscoVendor(std::uint8_t type, std::initializer_list<std::uint8_t> rest) {
  dot11::Bytes e{kElementVendor, 0, kCiscoOui[0], kCiscoOui[1], kCiscoOui[2], type};
  e.insert(e.end(), rest);
  e[1] = static_cast<std::uint8_t>(e.size() - 2);
  return e;
}

}  // namespace

std::vector<dot11::Bytes> CcxBeaconElements(const CcxBeaconOptions& options) {
  std::vector<dot11::Bytes> elements;
  // Aironet element: 28 bytes of content; counted from the ID byte, the contention windows
  // (little-endian words) at 6 and 8 and the CKIP flags at 10.
  dot11::Bytes aironet(2 + 28, 0);
  aironet[0] = kElementAironet;
  aironet[1] = 28;
  aironet[6] = static_cast<std::uint8_t>(options.cwMin);
  aironet[7] = static_cast<std::uint8_t>(options.cwMin >> 8);
  aironet[8] = static_cast<std::uint8_t>(options.cwMax);
  aironet[9] = static_cast<std::uint8_t>(options.cwMax >> 8);
  aironet[10] = options.ckipFlags;
  elements.push_back(aironet);
  if (options.apTxPowerDbm) elements.push_back(CcxApPowerElement(*options.apTxPowerDbm));
  elements.push_back(CiscoVendor(0x03, {options.ccxVersion}));
  if (options.qos) {
    dot11::Bytes qos = CiscoVendor(0x04, {});
    qos.insert(qos.end(), options.qos->begin(), options.qos->end());
    qos[1] = static_cast<std::uint8_t>(qos.size() - 2);
    elements.push_back(qos);
  }
  return elements;
}

dot11::Bytes CcxApPowerElement(std::uint8_t dbm) {
  return {kElementApTxPower, 6, kCiscoOui[0], kCiscoOui[1], kCiscoOui[2], 0x00, dbm, 0};
}

dot11::Bytes CcxPresenceBody() { return {kCiscoOui[0], kCiscoOui[1], kCiscoOui[2], 0x01, 0x01, 0x00}; }

CcxAccessPoint::CcxAccessPoint(ndis::Scheduler& scheduler, AccessPoint& ap) : scheduler_(scheduler), ap_(ap) {
  hook_ = ap_.addFrameHook([this](const AirFrame& frame, const Reception&) { return take(frame); });
}

CcxAccessPoint::~CcxAccessPoint() {
  ap_.removeFrameHook(hook_);
  if (watcher_) ap_.removeStationWatcher(*watcher_);
  for (const auto& [station, ask] : pendingAsks_) scheduler_.cancel(ask);
}

void CcxAccessPoint::askAfterEachAssociation(std::vector<CcxMeasurementAsk> asks, ndis::Micros delay) {
  asks_ = std::move(asks);
  askDelay_ = delay;
  if (watcher_) return;
  watcher_ = ap_.addStationWatcher(
      [this](const MacAddress& station, AccessPoint::StationEvent event, std::span<const std::uint8_t>) {
        if (event == AccessPoint::StationEvent::Associated) associated(station);
      });
}

void CcxAccessPoint::associated(const MacAddress& station) {
  if (asks_.empty()) return;
  if (const auto pending = pendingAsks_.find(station); pending != pendingAsks_.end()) scheduler_.cancel(pending->second);
  pendingAsks_[station] = scheduler_.after(askDelay_, ndis::EventKind::Air, "ccx measurement request", [this, station] {
    pendingAsks_.erase(station);
    const std::uint16_t dialog = nextDialogToken_++;
    const bool sent = requestMeasurements(station, dialog, 0, 0, asks_);
    if (!log_) return;
    std::string text = "measurement request to " + dot11::FormatAddress(station) + ", dialog " + std::to_string(dialog);
    for (std::size_t i = 0; i < asks_.size(); ++i) text += (i == 0 ? ": " : "; ") + DescribeAsk(asks_[i]);
    log_(text + (sent ? "" : " (not sent: the station is not associated)"));
  });
}

bool CcxAccessPoint::requestMeasurements(const MacAddress& station, std::uint16_t dialogToken,
                                         std::uint8_t activationDelay, std::uint8_t offset,
                                         const std::vector<CcxMeasurementAsk>& asks, const MacAddress& destination) {
  dot11::Bytes body(kIappSnap, kIappSnap + sizeof kIappSnap);
  body.insert(body.end(), {0, 0, 0x32, 0x01});
  body.insert(body.end(), destination.begin(), destination.end());
  body.insert(body.end(), 6, 0);  // source: requests carry both addresses zero
  body.push_back(static_cast<std::uint8_t>(dialogToken >> 8));
  body.push_back(static_cast<std::uint8_t>(dialogToken));
  body.push_back(activationDelay);
  body.push_back(offset);
  for (const CcxMeasurementAsk& ask : asks) {
    AppendLittle16(body, 38);
    AppendLittle16(body, 8);
    AppendLittle16(body, ask.token);
    body.insert(body.end(), {ask.mode, ask.type, ask.channel, ask.scanMode});
    AppendLittle16(body, ask.durationTu);
  }
  const std::size_t iappLength = body.size() - 8;
  body[8] = static_cast<std::uint8_t>(iappLength >> 8);
  body[9] = static_cast<std::uint8_t>(iappLength);
  return ap_.sendData(station, ap_.address(), std::move(body)) == AccessPoint::DataOutcome::Sent;
}

bool CcxAccessPoint::take(const AirFrame& frame) {
  const auto& b = frame.bytes;
  if (b.size() < kDataHeaderBytes) return false;
  const std::uint8_t type = (b[0] >> 2) & 3;
  const std::uint8_t subtype = b[0] >> 4;
  MacAddress from;
  std::memcpy(from.data(), b.data() + 10, 6);
  if (std::memcmp(b.data() + 4, ap_.address().data(), 6) != 0) return false;
  if (type == 0 && subtype == 2) {
    // A reassociation request: fixed fields (10 bytes), then its elements.
    const std::size_t fixed = kDataHeaderBytes + 10;
    reassociations_.push_back(b.size() >= fixed &&
                              CckmRequestElement(std::span<const std::uint8_t>(b).subspan(fixed)).has_value());
    return false;  // the access point answers it as usual
  }
  const bool plainData = type == 2 && subtype == 0 && (b[1] & 0x03) == 0x01;
  if (!plainData || (b[1] & 0x40) != 0) return false;
  const std::uint8_t* body = b.data() + kDataHeaderBytes;
  const std::size_t length = b.size() - kDataHeaderBytes;
  if (length < kIappHeaderBytes || std::memcmp(body, kIappSnap, sizeof kIappSnap) != 0) return false;
  if (body[10] == 0x32 && body[11] == 0x81) readReport(from, body, length);
  if (body[10] == 0x30 && body[11] == 0x00) readAdjacent(from, body, length);
  if (body[10] == 0x40 && body[11] == 0x8E) readApList(from, body, length);
  return true;  // IAPP frames end here: they are the access point's own
}

void CcxAccessPoint::readReport(const MacAddress& station, const std::uint8_t* body, std::size_t length) {
  CcxReceivedReport report;
  report.atMicros = scheduler_.now().count();
  report.station = station;
  report.wellFormed = length >= kIappHeaderBytes + 2 && Big16(body + 8) == length - 8 &&
                      std::memcmp(body + 12, ap_.address().data(), 6) == 0 &&
                      std::memcmp(body + 18, station.data(), 6) == 0;
  if (length >= kIappHeaderBytes + 2) report.dialogToken = Big16(body + 24);
  std::size_t at = kIappHeaderBytes + 2;
  while (at + 4 <= length) {
    const std::uint16_t id = Little16(body + at);
    const std::uint16_t elementLength = Little16(body + at + 2);
    if (id != 39 || elementLength < 8 || at + 4 + elementLength > length) {
      report.wellFormed = false;
      break;
    }
    const std::uint8_t* e = body + at + 4;
    CcxReportElement element;
    element.token = Little16(e);
    element.mode = e[2];
    element.type = e[3];
    element.channel = e[4];
    element.durationTu = Little16(e + 6);
    element.fields.assign(e + 8, e + elementLength);
    report.elements.push_back(std::move(element));
    at += 4u + elementLength;
  }
  if (at != length) report.wellFormed = false;
  if (log_) {
    std::string text = "measurement report from " + dot11::FormatAddress(station) + ", dialog " +
                       std::to_string(report.dialogToken) + (report.wellFormed ? "" : " (malformed)");
    for (std::size_t i = 0; i < report.elements.size(); ++i)
      text += (i == 0 ? ": " : "; ") + DescribeResult(report.elements[i]);
    log_(text);
  }
  reports_.push_back(std::move(report));
}

void CcxAccessPoint::readAdjacent(const MacAddress& station, const std::uint8_t* body, std::size_t length) {
  // Element 0x009B: OUI word, previous BSSID, channel, SSID length, SSID, seconds.
  std::size_t at = kIappHeaderBytes;
  while (at + 4 + 16 <= length && Big16(body + at) == 0x009B) {
    const std::size_t elementLength = Big16(body + at + 2);
    const std::uint8_t* e = body + at + 4;
    if (at + 4 + elementLength > length || elementLength < 16) break;
    const std::size_t ssidLength = Big16(e + 12);
    if (ssidLength + 16 != elementLength || std::memcmp(e, kCiscoOui, 3) != 0) break;
    CcxAdjacentReport report;
    report.station = station;
    std::memcpy(report.previousBssid.data(), e + 4, 6);
    report.channel = Big16(e + 10);
    report.ssid.assign(e + 14, e + 14 + ssidLength);
    report.seconds = Big16(e + 14 + ssidLength);
    if (log_)
      log_("adjacent-AP report from " + dot11::FormatAddress(station) + ": it was with " +
           dot11::FormatAddress(report.previousBssid) + " on channel " + std::to_string(report.channel));
    adjacent_.push_back(std::move(report));
    at += 4 + elementLength;
  }
}

void CcxAccessPoint::readApList(const MacAddress& station, const std::uint8_t* body, std::size_t length) {
  // IAPP length 40: the header and one 24-byte record {0, type, BSSID, SSID[16]}.
  constexpr std::size_t kListBytes = kIappHeaderBytes + 24;
  if (length != kListBytes || Big16(body + 8) != kListBytes - 8) return;
  CcxApListRecord record;
  record.station = station;
  record.type = body[25];
  std::memcpy(record.bssid.data(), body + 26, 6);
  std::memcpy(record.ssid.data(), body + 32, 16);
  apLists_.push_back(record);
}

}  // namespace simair
