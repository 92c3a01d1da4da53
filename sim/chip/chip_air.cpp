// The chip on the air: a simair::Radio with the firmware's address, channel and power; its
// receive filter; beacons it tracks for power save (doze until the beacon of the listen
// interval, then cause 0x08); and IBSS beaconing from the host's template.
#include <algorithm>

#include "sim/chip/air_frames.h"
#include "sim/chip/chip_registers.h"
#include "sim/chip/sim_chip.h"

namespace simchip {
namespace {

constexpr std::uint8_t kTypeManagement = 0;
constexpr std::uint8_t kTypeControl = 1;
constexpr std::uint8_t kTypeData = 2;
constexpr std::uint8_t kFlagPowerManagement = 0x10;
constexpr std::uint8_t kFlagMoreData = 0x20;
constexpr std::uint8_t kSubtypeProbeRequest = 4;
constexpr std::uint8_t kSubtypeProbeResponse = 5;
constexpr std::uint8_t kSubtypeBeacon = 8;
constexpr std::uint8_t kElementSsid = 0;
constexpr std::uint8_t kElementTim = 5;
constexpr std::size_t kFixedBeaconFields = 12;  // timestamp, interval, capability
constexpr std::int64_t kMicrosPerTu = 1024;
constexpr ndis::Micros kWakeWithoutBeacon{100000};
constexpr int kDefaultPowerDbm = 15;
constexpr int kMaximumPowerDbm = 20;

std::int64_t TuMicros(std::uint32_t tu) { return static_cast<std::int64_t>(tu) * kMicrosPerTu; }

bool IsBeaconOrProbeResponse(std::span<const std::uint8_t> air) {
  return FrameType(air) == kTypeManagement &&
         (FrameSubtype(air) == kSubtypeBeacon || FrameSubtype(air) == kSubtypeProbeResponse);
}

// SET_ASSOCIATION body: BSSID (6 bytes), u16 association id, capability and rates behind.
std::optional<simair::MacAddress> AssociatedBssid(const FirmwareSettings& s) {
  if (s.association.size() < 8) return std::nullopt;
  simair::MacAddress bssid{};
  std::copy_n(s.association.begin(), 6, bssid.begin());
  if (bssid == simair::MacAddress{}) return std::nullopt;
  return bssid;
}
std::uint16_t AssociationId(const FirmwareSettings& s) {
  if (s.association.size() < 8) return 0;
  return static_cast<std::uint16_t>((s.association[6] | s.association[7] << 8) & 0x3FFF);
}

// Whether the TIM's partial virtual bitmap has the bit of `aid`.
bool TimNames(std::span<const std::uint8_t> tim, std::uint16_t aid) {
  if (tim.size() < 4 || aid == 0) return false;
  const std::size_t first = tim[2] & 0xFE;
  const std::size_t octet = aid / 8;
  if (octet < first || octet - first >= tim.size() - 3) return false;
  return (tim[3 + octet - first] >> (aid % 8)) & 1;
}

// IBSS_START record: u16 length of the beacon at 8, the beacon (802.11, no FCS) from 10.
std::span<const std::uint8_t> TemplateBeacon(const std::vector<std::uint8_t>& record) {
  if (record.size() < 10) return {};
  const std::size_t length = static_cast<std::size_t>(record[8] | record[9] << 8);
  if (length < kAirHeader + kFixedBeaconFields || 10 + length > record.size()) return {};
  return std::span(record).subspan(10, length);
}

}  // namespace

simair::MacAddress SimChip::address() const { return firmware_.settings().directedAddress; }

std::uint8_t SimChip::channel() const { return firmware_.settings().channel; }

bool SimChip::radioOn() const {
  return bootRom_.state() == FirmwareState::Running && !crashed_ && !removed_ && firmware_.settings().radioOn &&
         !dozing_;
}

int SimChip::transmitPowerDbm() const {
  const std::uint16_t level = firmware_.settings().txPowerLevel;
  if (level == 0) return kDefaultPowerDbm;
  return std::min<int>(level, kMaximumPowerDbm);
}

void SimChip::attachAir(simair::Air& air) {
  detachAir();
  air_ = &air;
  air.join(*this);
}

void SimChip::detachAir() {
  if (air_ == nullptr) return;
  air_->leave(*this);
  air_ = nullptr;
}

bool SimChip::transmitAir(std::vector<std::uint8_t> bytes, std::uint16_t rateHalfMbps) {
  FirmwareCounters& c = firmware_.counters();
  ++c.transmittedFragments;
  const bool group = IsGroup(AddressAt(bytes, 4));
  if (group) ++c.multicastTransmitted;
  // A frame the access point acknowledged tells it whether the station dozes from now on.
  const auto bssid = AssociatedBssid(firmware_.settings());
  const bool toAccessPoint = bssid && bytes.size() >= 10 && AddressAt(bytes, 4) == *bssid;
  const bool powerManagement = bytes.size() >= 2 && (bytes[1] & kFlagPowerManagement) != 0;
  bool acknowledged = false;
  if (air_ != nullptr && radioOn()) {
    ++rings_.framesSent;
    acknowledged = air_->transmit(*this, simair::AirFrame{std::move(bytes), channel(), rateHalfMbps}).acknowledged;
  }
  if (toAccessPoint && acknowledged) dozingToAccessPoint_ = powerManagement;
  if (group) return true;
  if (!acknowledged) {
    ++c.ackFailures;
    ++c.failed;
  }
  return acknowledged;
}

bool SimChip::passesFilter(std::span<const std::uint8_t> air) const {
  if (air.size() < kAirHeader || FrameType(air) == kTypeControl) return false;
  const simair::MacAddress receiver = AddressAt(air, 4);
  if (!IsGroup(receiver) && receiver != address()) return false;
  const FirmwareSettings& s = firmware_.settings();
  const auto associated = AssociatedBssid(s);
  if (!associated || s.scanning) return true;
  if (FrameType(air) == kTypeManagement && !IsBeaconOrProbeResponse(air)) return true;
  return BssidOf(air) == associated;
}

void SimChip::receive(const simair::AirFrame& frame, const simair::Reception& reception) {
  if (!radioOn()) {
    if (dozing_) ++rings_.heardWhileDozing;
    return;
  }
  const std::span<const std::uint8_t> air(frame.bytes);
  if (frame.channel == channel()) measurement_.heard(frame, reception);
  if (frame.channel != channel() || !passesFilter(air)) {
    ++rings_.filtered;
    return;
  }
  if (FrameType(air) == kTypeManagement && FrameSubtype(air) == kSubtypeProbeRequest) answerProbe(air);
  const auto associated = AssociatedBssid(firmware_.settings());
  const bool ourBeacon = FrameType(air) == kTypeManagement && FrameSubtype(air) == kSubtypeBeacon &&
                         associated && BssidOf(air) == associated;
  if (ourBeacon) noteBeacon(air);
  writeReceiveRing(air, reception.signalDbm, frame.rateHalfMbps);
  // Frames wait at the access point: ask for the first (the host hears of the beacon that
  // ended a doze after the poll went), and for the next while More Data says there is one.
  const bool buffered = ourBeacon && TimNames(FindElement(air, kAirHeader + kFixedBeaconFields, kElementTim),
                                              AssociationId(firmware_.settings()));
  const bool moreData = FrameType(air) == kTypeData && (air[1] & kFlagMoreData) != 0 &&
                        AddressAt(air, 4) == address() && associated && BssidOf(air) == associated;
  if (buffered || (moreData && dozingToAccessPoint_)) sendPsPoll(*associated);
  if (ourBeacon && awaitingBeacon_) {
    awaitingBeacon_ = false;
    raise(kCausePowerSave);
  }
}

void SimChip::sendPsPoll(const simair::MacAddress& bssid) {
  std::vector<std::uint8_t> poll(16, 0);
  poll[0] = 0xA4;                  // PS-Poll
  poll[1] = kFlagPowerManagement;  // the station stays in power save: one frame, not all
  const std::uint16_t aid = AssociationId(firmware_.settings()) | 0xC000;
  poll[2] = static_cast<std::uint8_t>(aid);
  poll[3] = static_cast<std::uint8_t>(aid >> 8);
  std::copy(bssid.begin(), bssid.end(), poll.begin() + 4);
  const auto own = address();
  std::copy(own.begin(), own.end(), poll.begin() + 10);
  transmitAir(std::move(poll), 2);
}

void SimChip::noteBeacon(std::span<const std::uint8_t> air) {
  if (air.size() < kAirHeader + kFixedBeaconFields) return;
  beaconClock_.known = true;
  beaconClock_.lastAt = bus_ ? bus_->scheduler().now() : ndis::Micros(0);
  beaconClock_.intervalTu = static_cast<std::uint16_t>(air[kAirHeader + 8] | air[kAirHeader + 9] << 8);
  const auto tim = FindElement(air, kAirHeader + kFixedBeaconFields, kElementTim);
  if (tim.size() >= 2) {
    beaconClock_.dtimCount = tim[0];
    beaconClock_.dtimPeriod = std::max<std::uint8_t>(tim[1], 1);
  }
}

void SimChip::sleepRequest() {
  if (!bus_) return;
  const auto bssid = AssociatedBssid(firmware_.settings());
  if ((address_ == 1 || !dozingToAccessPoint_) && bssid) {
    // Entering power save, or the access point took the station for awake since (a frame
    // without the PM bit): tell it with a null frame that has the PM bit.
    std::vector<std::uint8_t> null(kAirHeader, 0);
    null[0] = 0x48;
    null[1] = 0x11;  // to the DS, power management
    const auto own = address();
    std::copy(bssid->begin(), bssid->end(), null.begin() + 4);
    std::copy(own.begin(), own.end(), null.begin() + 10);
    std::copy(bssid->begin(), bssid->end(), null.begin() + 16);
    transmitAir(std::move(null), 2);
  }
  dozing_ = true;
  const ndis::Micros now = bus_->scheduler().now();
  ndis::Micros wakeAt = now + kWakeWithoutBeacon;
  if (beaconClock_.known && beaconClock_.intervalTu != 0) {
    const std::int64_t interval = TuMicros(beaconClock_.intervalTu);
    const std::int64_t beacons = beaconClock_.dtimCount != 0 ? beaconClock_.dtimCount : beaconClock_.dtimPeriod;
    std::int64_t next = beaconClock_.lastAt.count() + beacons * interval;
    while (next <= now.count()) next += beaconClock_.dtimPeriod * interval;
    wakeAt = std::max(now, ndis::Micros(next) - knobs_.wakeBeforeBeacon);
  }
  wakeEvent_ = schedule(wakeAt - now, "wake for the beacon", [this] { wakeForBeacon(); });
}

void SimChip::wakeForBeacon() {
  dozing_ = false;
  awaitingBeacon_ = true;
  schedule(knobs_.beaconWaitAfterWake, "no beacon after the wake", [this] {
    if (!awaitingBeacon_) return;
    awaitingBeacon_ = false;
    raise(kCausePowerSave);
  });
}

void SimChip::endDoze() {
  if (!dozing_) return;
  dozing_ = false;
  if (bus_ && wakeEvent_) bus_->scheduler().cancel(wakeEvent_);
}

void SimChip::commandApplied(std::uint16_t code) {
  // A new association (or none): the access point takes the station for awake.
  if (code == command::kSetAssociation || code == command::kIbssStart) dozingToAccessPoint_ = false;
  if (code == command::kIbssStart) {
    if (bus_ && beaconEvent_) bus_->scheduler().cancel(beaconEvent_);
    beaconFromTemplate();
  } else if (code == command::kSetInfraMode && bus_ && beaconEvent_) {
    bus_->scheduler().cancel(beaconEvent_);
  }
}

void SimChip::beaconFromTemplate() {
  const auto beacon = TemplateBeacon(firmware_.settings().ibssTemplate);
  if (beacon.empty()) {
    fault("IBSS_START template without a beacon");
    return;
  }
  std::vector<std::uint8_t> frame(beacon.begin(), beacon.end());
  const auto now = static_cast<std::uint64_t>(bus_ ? bus_->scheduler().now().count() : 0);
  for (std::size_t i = 0; i < 8; ++i) frame[kAirHeader + i] = static_cast<std::uint8_t>(now >> (8 * i));
  const std::uint16_t interval = static_cast<std::uint16_t>(frame[kAirHeader + 8] | frame[kAirHeader + 9] << 8);
  transmitAir(std::move(frame), 2);
  ++rings_.beaconsSent;
  beaconEvent_ = schedule(ndis::Micros(TuMicros(interval != 0 ? interval : 100)), "IBSS beacon",
                          [this] { beaconFromTemplate(); });
}

void SimChip::answerProbe(std::span<const std::uint8_t> request) {
  const FirmwareSettings& s = firmware_.settings();
  if (s.infrastructure) return;
  const auto beacon = TemplateBeacon(s.ibssTemplate);
  if (beacon.empty()) return;
  const auto wanted = FindElement(request, kAirHeader, kElementSsid);
  const auto ours = FindElement(beacon, kAirHeader + kFixedBeaconFields, kElementSsid);
  if (!wanted.empty() && !std::equal(wanted.begin(), wanted.end(), ours.begin(), ours.end())) return;
  std::vector<std::uint8_t> response(beacon.begin(), beacon.end());
  response[0] = 0x50;
  const auto requester = AddressAt(request, 10);
  std::copy(requester.begin(), requester.end(), response.begin() + 4);
  transmitAir(std::move(response), 2);
}

}  // namespace simchip
