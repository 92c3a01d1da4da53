#include "sim/air/access_point.h"

#include <algorithm>
#include <stdexcept>

#include "sim/air/association_security.h"
#include "sim/air/authenticator.h"
#include "sim/air/enterprise_handshake.h"

namespace simair {
namespace {

using dot11::FrameType;
namespace subtype = dot11::subtype;
namespace element = dot11::element;

constexpr std::int64_t kMicrosPerTu = 1024;
constexpr std::uint16_t kStatusSuccess = 0, kStatusUnspecified = 1, kStatusUnsupportedAlgorithm = 13,
                        kStatusTooManyStations = 17;
constexpr std::uint16_t kReasonNotAuthenticated = 6;  // class 2 frame from a station not authenticated

bool IsOfdmRate(std::uint8_t rate) {
  const std::uint8_t r = rate & 0x7F;
  return r != 2 && r != 4 && r != 11 && r != 22;
}

std::uint16_t ReadU16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

// A beacon interval and DTIM period of 0 mean 1.
AccessPointConfig WithTimingDefaults(AccessPointConfig config) {
  if (config.dtimPeriod == 0) config.dtimPeriod = 1;
  if (config.beaconIntervalTu == 0) config.beaconIntervalTu = 1;
  return config;
}

}  // namespace

const char* SecurityName(Security security) {
  switch (security) {
    case Security::Open: return "open";
    case Security::Wep: return "wep";
    case Security::Wpa: return "wpa-psk";
    case Security::Wpa2: return "wpa2-psk";
    case Security::WpaWpa2: return "wpa-wpa2-psk";
    case Security::Wpa2Enterprise: return "wpa2-enterprise";
    case Security::WpaEnterprise: return "wpa-enterprise";
  }
  return "?";
}

bool IsEnterprise(Security security) {
  return security == Security::Wpa2Enterprise || security == Security::WpaEnterprise;
}

AccessPoint::AccessPoint(ndis::Scheduler& scheduler, Air& air, AccessPointConfig config)
    : scheduler_(scheduler), air_(air), config_(WithTimingDefaults(std::move(config))) {}

AccessPoint::~AccessPoint() { stop(); }

void AccessPoint::start() {
  if (started_) return;
  started_ = true;
  air_.join(*this);
  if (on_) scheduleBeacon();
}

void AccessPoint::stop() {
  if (!started_) return;
  scheduler_.cancel(beaconTimer_);
  beaconTimer_ = {};
  air_.leave(*this);
  started_ = false;
}

void AccessPoint::setRadioOn(bool on) {
  if (on == on_) return;
  on_ = on;
  if (!started_) return;
  if (on) {
    scheduleBeacon();
  } else {
    scheduler_.cancel(beaconTimer_);
    beaconTimer_ = {};
  }
}

void AccessPoint::reconfigure(AccessPointConfig config) {
  if (config.bssid != config_.bssid || config.channel != config_.channel)
    throw std::invalid_argument("an access point keeps its BSSID and channel");
  while (!stations_.empty()) {
    const MacAddress station = stations_.begin()->first;
    forgetStation(station);
  }
  challenges_.clear();
  config_ = WithTimingDefaults(std::move(config));
}

void AccessPoint::scheduleBeacon() {
  // The next target beacon transmission time: the next multiple of the interval.
  const std::int64_t interval = config_.beaconIntervalTu * kMicrosPerTu;
  const std::int64_t now = scheduler_.now().count();
  const std::int64_t next = (now / interval + 1) * interval;
  beaconTimer_ = scheduler_.at(ndis::Micros(next), ndis::EventKind::Air, "beacon", [this] { beacon(); });
}

void AccessPoint::beacon() {
  beaconTimer_ = {};
  transmitAt(buildBeacon(), managementRate());
  ++counters_.beacons;
  ++beaconsSinceStart_;
  scheduleBeacon();
}

std::uint16_t AccessPoint::nextSequence() {
  sequence_ = static_cast<std::uint16_t>((sequence_ + 1) & 0x0FFF);
  return sequence_;
}

std::uint16_t AccessPoint::capability() const {
  std::uint16_t bits = config_.independent ? dot11::capability::Ibss : dot11::capability::Ess;
  if (config_.security != Security::Open) bits |= dot11::capability::Privacy;
  return bits;
}

void AccessPoint::appendBssElements(dot11::FrameWriter& w, bool withTim) {
  const std::span<const std::uint8_t> rates(config_.rates);
  w.element(element::SupportedRates, rates.first(std::min<std::size_t>(rates.size(), 8)));
  const std::uint8_t channel[] = {config_.channel};
  w.element(element::DsParameter, channel);
  if (config_.independent) {
    const std::uint8_t atimWindow[] = {0, 0};
    w.element(element::IbssParameter, atimWindow);
  } else if (withTim) {
    const auto period = config_.dtimPeriod;
    const auto count = static_cast<std::uint8_t>((period - beaconsSinceStart_ % period) % period);
    w.element(element::Tim, powerSave_.timBody(count, period));
  }
  if (std::any_of(config_.rates.begin(), config_.rates.end(), IsOfdmRate)) {
    const std::uint8_t erp[] = {0};  // no non-ERP stations, no protection, long preambles allowed
    w.element(element::Erp, erp);
  }
  if (rates.size() > 8) w.element(element::ExtendedRates, rates.subspan(8));
  using air::Cipher;
  using air::KeyProtocol;
  if (config_.security == Security::Wpa2) w.raw(air::BuildElement(KeyProtocol::Rsn, Cipher::Ccmp, Cipher::Ccmp));
  if (IsEnterprise(config_.security)) w.raw(EnterpriseElement(config_));
  if (config_.security == Security::WpaWpa2) w.raw(air::BuildElement(KeyProtocol::Rsn, Cipher::Ccmp, Cipher::Tkip));
  if (config_.security == Security::Wpa || config_.security == Security::WpaWpa2)
    w.raw(air::BuildElement(KeyProtocol::Wpa, Cipher::Tkip, Cipher::Tkip));
  for (const auto& vendor : config_.vendorElements) w.element(element::Vendor, vendor);
  for (const auto& extra : config_.extraElements) w.raw(extra);
}

dot11::Bytes AccessPoint::buildBeacon() {
  dot11::FrameWriter w;
  w.header(FrameType::Management, subtype::Beacon, 0, dot11::kBroadcast, config_.bssid, config_.bssid,
           nextSequence());
  w.u64(static_cast<std::uint64_t>(scheduler_.now().count()));  // TSF: the scheduler's clock
  w.u16(config_.beaconIntervalTu);
  w.u16(capability());
  const std::string_view ssid = config_.hiddenSsid ? std::string_view{} : std::string_view{config_.ssid};
  w.element(element::Ssid, {reinterpret_cast<const std::uint8_t*>(ssid.data()), ssid.size()});
  appendBssElements(w, true);
  return w.take();
}

dot11::Bytes AccessPoint::buildProbeResponse(const MacAddress& to) {
  dot11::FrameWriter w;
  w.header(FrameType::Management, subtype::ProbeResponse, 0, to, config_.bssid, config_.bssid, nextSequence());
  w.u64(static_cast<std::uint64_t>(scheduler_.now().count()));
  w.u16(config_.beaconIntervalTu);
  w.u16(capability());
  w.element(element::Ssid, {reinterpret_cast<const std::uint8_t*>(config_.ssid.data()), config_.ssid.size()});
  appendBssElements(w, false);
  return w.take();
}

std::uint16_t AccessPoint::managementRate() const {
  // The lowest basic rate, so every station can hear it.
  std::uint16_t lowest = 0;
  for (std::uint8_t rate : config_.rates)
    if ((rate & 0x80) != 0 && (lowest == 0 || (rate & 0x7F) < lowest)) lowest = rate & 0x7F;
  return lowest != 0 ? lowest : 2;
}

std::uint16_t AccessPoint::dataRate() const {
  std::uint16_t highest = 2;
  for (std::uint8_t rate : config_.rates) highest = std::max<std::uint16_t>(highest, rate & 0x7F);
  return highest;
}

Transmission AccessPoint::transmitAt(dot11::Bytes frame, std::uint16_t rateHalfMbps) {
  return air_.transmit(*this, AirFrame{std::move(frame), config_.channel, rateHalfMbps});
}

Transmission AccessPoint::send(dot11::Bytes frame) { return transmitAt(std::move(frame), managementRate()); }

AccessPoint::HookId AccessPoint::addFrameHook(FrameHook hook) {
  hooks_.emplace_back(nextHookId_, std::move(hook));
  return nextHookId_++;
}

void AccessPoint::removeFrameHook(HookId id) {
  std::erase_if(hooks_, [id](const auto& entry) { return entry.first == id; });
}

AccessPoint::HookId AccessPoint::addStationWatcher(StationWatcher watcher) {
  watchers_.emplace_back(nextHookId_, std::move(watcher));
  return nextHookId_++;
}

void AccessPoint::removeStationWatcher(HookId id) {
  std::erase_if(watchers_, [id](const auto& entry) { return entry.first == id; });
}

void AccessPoint::announce(const MacAddress& station, StationEvent event, std::span<const std::uint8_t> elements) {
  // A watcher may add or remove watchers (or deauthenticate): walk a copy.
  const auto watchers = watchers_;
  for (const auto& [id, watcher] : watchers) watcher(station, event, elements);
}

void AccessPoint::receive(const AirFrame& frame, const Reception& reception) {
  if (!radioOn()) return;
  // A hook may remove hooks (a test tearing down): walk a copy.
  const auto hooks = hooks_;
  for (const auto& [id, hook] : hooks)
    if (hook(frame, reception)) return;
  const dot11::FrameView view(frame.bytes);
  const auto to = view.address1();
  const auto from = view.address2();
  if (!to || !from) return;
  if (view.is(FrameType::Management, subtype::ProbeRequest)) {
    answerProbe(view, *from);
    return;
  }
  if (*to != config_.bssid || config_.independent) return;

  if (view.is(FrameType::Management, subtype::Authentication)) return answerAuthentication(view, *from);
  if (view.is(FrameType::Management, subtype::AssociationRequest)) return answerAssociation(view, *from, false);
  if (view.is(FrameType::Management, subtype::ReassociationRequest)) return answerAssociation(view, *from, true);
  if (view.is(FrameType::Management, subtype::Deauthentication)) return forgetStation(*from);
  if (view.is(FrameType::Management, subtype::Disassociation)) {
    const auto found = stations_.find(*from);
    if (found != stations_.end() && found->second.aid != 0) {
      powerSave_.forget(found->second.aid);
      found->second.aid = 0;
      found->second.dozing = false;
      announce(*from, StationEvent::Left);
    }
    return;
  }

  const auto station = stations_.find(*from);
  if (station == stations_.end() || station->second.aid == 0) return;
  notePowerManagement(view, station->second, *from);
  // A PS-Poll names the station's association id (in the duration field's place).
  if (view.is(FrameType::Control, subtype::PsPoll) && (ReadU16(view.bytes(), 2) & 0x3FFF) == station->second.aid) {
    if (auto buffered = powerSave_.takeOne(station->second.aid))
      transmitBuffered(*from, station->second.aid, std::move(*buffered));
  }
}

void AccessPoint::notePowerManagement(const dot11::FrameView& view, StationState& station, const MacAddress& from) {
  // The PM bit of every frame the station sends says whether it dozes after this frame.
  const bool dozing = (view.flags() & dot11::flag::PowerManagement) != 0;
  const bool woke = station.dozing && !dozing;
  station.dozing = dozing;
  if (!woke) return;
  while (auto buffered = powerSave_.takeOne(station.aid)) transmitBuffered(from, station.aid, std::move(*buffered));
}

void AccessPoint::answerProbe(const dot11::FrameView& view, const MacAddress& from) {
  const auto to = view.address1();
  if (*to != dot11::kBroadcast && *to != config_.bssid) return;
  const auto bssid = view.address3();
  if (bssid && *bssid != dot11::kBroadcast && *bssid != config_.bssid) return;
  // A probe request's body is elements only; without an SSID element it is not a probe.
  const auto ssid = dot11::FindElement(view.managementBody(), element::Ssid);
  if (!ssid) return;
  const bool wildcard = ssid->empty();
  const bool ours = std::equal(ssid->begin(), ssid->end(), config_.ssid.begin(), config_.ssid.end());
  if ((wildcard && config_.hiddenSsid) || (!wildcard && !ours)) return;
  transmitAt(buildProbeResponse(from), managementRate());
  ++counters_.probeResponses;
}

void AccessPoint::answerAuthentication(const dot11::FrameView& view, const MacAddress& from) {
  const auto body = view.managementBody();
  if (body.size() < 6 || config_.join.silentAuthentication) return;
  const std::uint16_t algorithm = ReadU16(body, 0), transaction = ReadU16(body, 2);
  // Shared key (frame 3 comes WEP-encrypted, so its algorithm cannot be read yet).
  if (config_.join.sharedKey && (algorithm == 1 || (view.flags() & dot11::flag::Protected) != 0))
    return answerSharedKey(view, from);
  if (transaction != 1) return;  // only the first frame of a sequence starts anything here
  // The table of stations is bounded by the association ids there are.
  const bool room = stations_.contains(from) || stations_.size() < PowerSaveBuffer::kMaxAid;
  const bool open = algorithm == 0 && !config_.join.sharedKeyOnly;
  std::uint16_t status = !open ? kStatusUnsupportedAlgorithm : !room ? kStatusTooManyStations : kStatusSuccess;
  if (status == kStatusSuccess && config_.join.authenticationStatus != 0) status = config_.join.authenticationStatus;
  dot11::FrameWriter w;
  w.header(FrameType::Management, subtype::Authentication, 0, from, config_.bssid, config_.bssid, nextSequence());
  w.u16(algorithm);
  w.u16(2);
  w.u16(status);
  if (status == kStatusSuccess) {
    stations_[from].authenticated = true;
    ++counters_.authentications;
  }
  send(w.take());
}

void AccessPoint::answerAssociation(const dot11::FrameView& view, const MacAddress& from, bool reassociation) {
  if (config_.join.silentAssociation) return;
  const auto found = stations_.find(from);
  if (found == stations_.end() || !found->second.authenticated) {
    dot11::FrameWriter w;
    w.header(FrameType::Management, subtype::Deauthentication, 0, from, config_.bssid, config_.bssid, nextSequence());
    w.u16(kReasonNotAuthenticated);
    send(w.take());
    return;
  }
  // Capability and listen interval, for a reassociation the current access point, then elements.
  const std::size_t fixed = reassociation ? 10 : 4;
  const auto body = view.managementBody();
  std::uint16_t status = kStatusUnspecified;
  if (body.size() >= fixed) {
    const auto ssid = dot11::FindElement(body.subspan(fixed), element::Ssid);
    if (ssid && std::equal(ssid->begin(), ssid->end(), config_.ssid.begin(), config_.ssid.end()))
      status = kStatusSuccess;
    // The station's RSN or WPA element, checked as strictly as hostapd does; then the knob.
    if (status == kStatusSuccess) status = CheckAssociationSecurity(config_.security, body.subspan(fixed), config_.cckm);
    if (status == kStatusSuccess && config_.join.associationStatus != 0) status = config_.join.associationStatus;
    if (status == kStatusSuccess && scheduler_.now() < refuseAssociationsUntil_) status = kStatusUnspecified;
  }
  StationState& station = found->second;
  if (status == kStatusSuccess && station.aid == 0) station.aid = freeAid();
  dot11::FrameWriter w;
  w.header(FrameType::Management, reassociation ? subtype::ReassociationResponse : subtype::AssociationResponse, 0,
           from, config_.bssid, config_.bssid, nextSequence());
  w.u16(capability());
  w.u16(status);
  w.u16(static_cast<std::uint16_t>(status == kStatusSuccess ? (station.aid | 0xC000) : 0));
  const std::span<const std::uint8_t> rates(config_.rates);
  w.element(element::SupportedRates, rates.first(std::min<std::size_t>(rates.size(), 8)));
  if (rates.size() > 8) w.element(element::ExtendedRates, rates.subspan(8));
  if (status == kStatusSuccess && reassociation && reassociationElements_)
    w.raw(reassociationElements_(from, body.subspan(fixed)));
  send(w.take());
  if (status == kStatusSuccess) {
    ++counters_.associations;
    announce(from, StationEvent::Associated, body.subspan(fixed));
  }
}

std::uint16_t AccessPoint::freeAid() const {
  // The lowest id no station holds; there is always one, as the table holds at most kMaxAid.
  std::vector<bool> used(PowerSaveBuffer::kMaxAid + 1, false);
  for (const auto& [address, station] : stations_) used[station.aid] = true;
  for (std::uint16_t aid = 1; aid <= PowerSaveBuffer::kMaxAid; ++aid)
    if (!used[aid]) return aid;
  return 0;
}

void AccessPoint::forgetStation(const MacAddress& station) {
  const auto found = stations_.find(station);
  if (found == stations_.end()) return;
  const bool associated = found->second.aid != 0;
  if (associated) powerSave_.forget(found->second.aid);
  stations_.erase(found);
  if (associated) announce(station, StationEvent::Left);
}

AccessPoint::DataOutcome AccessPoint::sendData(const MacAddress& station, const MacAddress& source, dot11::Bytes body) {
  const auto found = stations_.find(station);
  if (found == stations_.end() || found->second.aid == 0) {
    ++counters_.dataDropped;
    return DataOutcome::Dropped;
  }
  BufferedFrame frame{source, std::move(body)};
  if (found->second.dozing) {
    if (!powerSave_.hold(found->second.aid, std::move(frame))) {
      ++counters_.dataDropped;
      return DataOutcome::Dropped;
    }
    ++counters_.dataBuffered;
    return DataOutcome::Buffered;
  }
  transmitBuffered(station, found->second.aid, std::move(frame));
  return DataOutcome::Sent;
}

void AccessPoint::transmitBuffered(const MacAddress& station, std::uint16_t aid, BufferedFrame frame) {
  // More Data tells a station in power save to poll again.
  const std::uint8_t flags = dot11::flag::FromDs | (powerSave_.count(aid) > 0 ? dot11::flag::MoreData : 0);
  dot11::FrameWriter w;
  w.header(FrameType::Data, subtype::Data, flags, station, config_.bssid, frame.source, nextSequence());
  w.raw(frame.body);
  dot11::Bytes bytes = w.take();
  if (protector_) {
    auto protectedFrame = protector_(station, std::move(bytes));
    if (!protectedFrame) {
      ++counters_.dataUnprotected;
      return;
    }
    bytes = std::move(*protectedFrame);
  }
  transmitAt(std::move(bytes), dataRate());
  ++counters_.dataSent;
}

bool AccessPoint::associated(const MacAddress& station) const { return associationId(station) != 0; }

std::uint16_t AccessPoint::associationId(const MacAddress& station) const {
  const auto found = stations_.find(station);
  return found == stations_.end() ? 0 : found->second.aid;
}

bool AccessPoint::dozing(const MacAddress& station) const {
  const auto found = stations_.find(station);
  return found != stations_.end() && found->second.dozing;
}

std::size_t AccessPoint::buffered(const MacAddress& station) const {
  const std::uint16_t aid = associationId(station);
  return aid == 0 ? 0 : powerSave_.count(aid);
}

}  // namespace simair
