#include "sim/air/air_world.h"

namespace simair {

AirWorld::AirWorld(ndis::Scheduler& scheduler, const World& world, PcapRecorder* recorder)
    : scheduler_(scheduler), station_(world.station), medium_(scheduler, world.defaultLossDb) {
  medium_.setRecorder(recorder, station_);
  for (std::size_t i = 0; i < world.accessPoints.size(); ++i) {
    accessPoints_.push_back(std::make_unique<AccessPoint>(scheduler, medium_, world.accessPoints[i].config));
    setSignal(i, world.accessPoints[i].signalDbm);
    accessPoints_.back()->start();
  }
  for (const WorldChange& change : world.changes) {
    changes_.push_back(scheduler.after(ndis::Micros(change.atMicros), ndis::EventKind::Air, "world change", [this, change] {
      switch (change.kind) {
        case WorldChange::Kind::Signal: setSignal(change.accessPoint, change.signalDbm); break;
        case WorldChange::Kind::Off: accessPoints_[change.accessPoint]->setRadioOn(false); break;
        case WorldChange::Kind::On: accessPoints_[change.accessPoint]->setRadioOn(true); break;
      }
    }));
  }
}

AirWorld::~AirWorld() {
  for (ndis::EventId change : changes_) scheduler_.cancel(change);
  accessPoints_.clear();  // they leave the medium before it goes
}

void AirWorld::setSignal(std::size_t index, int signalDbm) {
  // Signal = transmit power - path loss, so the loss that gives the signal asked for.
  const AccessPoint& ap = *accessPoints_[index];
  medium_.setPathLoss(ap.address(), station_, ap.transmitPowerDbm() - signalDbm);
}

}  // namespace simair
