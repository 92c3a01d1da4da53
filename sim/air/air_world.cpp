#include "sim/air/air_world.h"

#include "sim/air/pmksa_cache.h"
#include "sim/air/psk_key_exchange.h"

namespace simair {

AirWorld::AirWorld(ndis::Scheduler& scheduler, const World& world, PcapRecorder* recorder)
    : scheduler_(scheduler), station_(world.station), medium_(scheduler, world.defaultLossDb) {
  medium_.setRecorder(recorder, station_);
  for (std::size_t i = 0; i < world.accessPoints.size(); ++i) {
    const AccessPointConfig& config = world.accessPoints[i].config;
    accessPoints_.push_back(std::make_unique<AccessPoint>(scheduler, medium_, config));
    AccessPoint& ap = *accessPoints_.back();
    ports_.push_back(config.independent ? nullptr : std::make_unique<DistributionPort>(ap));
    const bool wpa = config.security == Security::Wpa || config.security == Security::Wpa2 ||
                     config.security == Security::WpaWpa2 || config.security == Security::Wpa2Enterprise;
    PmksaCache* pmksa = nullptr;
    if (config.security == Security::Wpa2Enterprise) {
      auto& shared = pmksaCaches_[config.ssid];
      if (!shared) shared = std::make_unique<PmksaCache>();
      pmksa = shared.get();
    }
    keyExchanges_.push_back(wpa && !config.independent
                                ? std::make_unique<PskKeyExchange>(scheduler, ap, *ports_.back(), KeyExchangeTiming{}, pmksa)
                                : nullptr);
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
  keyExchanges_.clear();  // each goes before the port and the access point it uses
  ports_.clear();
  accessPoints_.clear();  // they leave the medium before it goes
}

void AirWorld::setSignal(std::size_t index, int signalDbm) {
  // Signal = transmit power - path loss, so the loss that gives the signal asked for.
  const AccessPoint& ap = *accessPoints_[index];
  medium_.setPathLoss(ap.address(), station_, ap.transmitPowerDbm() - signalDbm);
}

}  // namespace simair
