#include "sim/air/air_world.h"

#include "sim/air/cckm_contexts.h"
#include "sim/air/pmksa_cache.h"
#include "sim/air/psk_key_exchange.h"
#include "sim/air/swiftbond_access_point.h"
#include "sim/air/vendor_mode_sender.h"

namespace simair {
namespace {

// A CCX access point asks a station for its measurements once it has settled in.
constexpr auto kCcxMeasurementDelay = std::chrono::seconds(1);

}  // namespace

AirWorld::AirWorld(ndis::Scheduler& scheduler, const World& world, PcapRecorder* recorder, AirLog log)
    : scheduler_(scheduler), station_(world.station), medium_(scheduler, world.defaultLossDb), log_(log) {
  medium_.setRecorder(recorder, station_);
  for (std::size_t i = 0; i < world.accessPoints.size(); ++i) {
    const WorldAccessPoint& described = world.accessPoints[i];
    const AccessPointConfig& config = described.config;
    accessPoints_.push_back(std::make_unique<AccessPoint>(scheduler, medium_, config));
    AccessPoint& ap = *accessPoints_.back();
    // Their frame hooks come before the distribution port's: the frames they take are theirs.
    const bool bonds = world.accessPoints[i].swiftBond && config.security == Security::Open;
    swiftBonds_.push_back(bonds ? std::make_unique<SwiftBondAccessPoint>(
                                      scheduler, ap, [this, i, name = world.accessPoints[i].name] { bonded(i, name); })
                                : nullptr);
    const auto& vendorMode = world.accessPoints[i].vendorMode;
    vendorModes_.push_back(vendorMode ? std::make_unique<VendorModeSender>(scheduler, ap, *vendorMode) : nullptr);
    ports_.push_back(config.independent ? nullptr : std::make_unique<DistributionPort>(ap));
    // Each line of the access point's peers begins with its name.
    const AirLog named = log ? AirLog([log, name = described.name](const std::string& line) { log(name + ": " + line); })
                             : AirLog();
    const bool wpa = config.security == Security::Wpa || config.security == Security::Wpa2 ||
                     config.security == Security::WpaWpa2 || IsEnterprise(config.security);
    PmksaCache* pmksa = nullptr;
    if (IsEnterprise(config.security)) {
      auto& shared = pmksaCaches_[config.ssid];
      if (!shared) shared = std::make_unique<PmksaCache>();
      pmksa = shared.get();
    }
    CckmContexts* cckm = nullptr;
    if (config.cckm) {
      auto& shared = cckmContexts_[config.ssid];
      if (!shared) shared = std::make_unique<CckmContexts>();
      cckm = shared.get();
    }
    keyExchanges_.push_back(wpa && !config.independent
                                ? std::make_unique<PskKeyExchange>(scheduler, ap, *ports_.back(), KeyExchangeTiming{},
                                                                   pmksa, cckm, named)
                                : nullptr);
    ccxPeers_.push_back(described.ccx && !config.independent ? std::make_unique<CcxAccessPoint>(scheduler, ap) : nullptr);
    if (CcxAccessPoint* peer = ccxPeers_.back().get()) {
      peer->setLog(named);
      if (!described.ccxMeasurements.empty())
        peer->askAfterEachAssociation(described.ccxMeasurements, kCcxMeasurementDelay);
    }
    setSignal(i, world.accessPoints[i].signalDbm);
    accessPoints_.back()->start();
  }
  for (const WorldChange& change : world.changes) {
    changes_.push_back(scheduler.after(ndis::Micros(change.atMicros), ndis::EventKind::Air, "world change", [this, change] {
      switch (change.kind) {
        case WorldChange::Kind::Signal: setSignal(change.accessPoint, change.signalDbm); break;
        case WorldChange::Kind::Off: accessPoints_[change.accessPoint]->setRadioOn(false); break;
        case WorldChange::Kind::On: accessPoints_[change.accessPoint]->setRadioOn(true); break;
        // The station the world measures is the one the access point lets go (reason 1: unspecified).
        case WorldChange::Kind::Deauthenticate: accessPoints_[change.accessPoint]->deauthenticate(station_, 1); break;
        case WorldChange::Kind::Disassociate: accessPoints_[change.accessPoint]->disassociate(station_, 1); break;
      }
    }));
  }
}

AirWorld::~AirWorld() {
  for (ndis::EventId change : changes_) scheduler_.cancel(change);
  ccxPeers_.clear();      // each goes before the access point it hooks into
  swiftBonds_.clear();  // hooks on the access points, like the rest
  vendorModes_.clear();
  keyExchanges_.clear();  // each goes before the port and the access point it uses
  ports_.clear();
  accessPoints_.clear();  // they leave the medium before it goes
}

// The SwiftBond peer took the station's pass phrase: its access point now runs WPA-PSK.
void AirWorld::bonded(std::size_t index, const std::string& name) {
  AccessPoint& ap = *accessPoints_[index];
  keyExchanges_[index] = std::make_unique<PskKeyExchange>(scheduler_, ap, *ports_[index]);
  if (log_) log_(name + " bonded by SwiftBond: now " + SecurityName(ap.config().security) + ", \"" + ap.config().ssid + "\"");
}

void AirWorld::setSignal(std::size_t index, int signalDbm) {
  // Signal = transmit power - path loss, so the loss that gives the signal asked for.
  const AccessPoint& ap = *accessPoints_[index];
  medium_.setPathLoss(ap.address(), station_, ap.transmitPowerDbm() - signalDbm);
}

}  // namespace simair
