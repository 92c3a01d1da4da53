#include "hosts/zelnicd/air_setup.h"

#include <chrono>

#include "sim/air/ieee80211.h"
#include "sim/chip/chip_knob_words.h"

namespace zelnicd {

std::unique_ptr<AirSetup> BuildAir(const std::string& worldPath, const std::string& pcapPath,
                                   const simchip::ChipKnobs& knobs, ndis::Scheduler& scheduler, std::ostream& out) {
  simair::World world;
  if (!worldPath.empty()) {
    std::string error;
    auto loaded = simair::LoadWorldFile(worldPath, error);
    if (!loaded) {
      out << "zelnicd: world: " << error << std::endl;
      return nullptr;
    }
    world = std::move(*loaded);
  }
  auto air = std::make_unique<AirSetup>();
  air->chipKnobs = knobs;
  for (const simair::WorldChipKnob& knob : world.chipKnobs) {
    std::string error;
    if (!simchip::SetChipKnob(air->chipKnobs, knob.name, knob.value, error)) {
      out << "zelnicd: world: " << worldPath << ":" << knob.line << ": " << error << std::endl;
      return nullptr;
    }
    out << "zelnicd: chip knob " << knob.name << (knob.value.empty() ? "" : " " + knob.value) << std::endl;
  }
  if (!pcapPath.empty()) {
    std::string error;
    air->recorder = simair::PcapRecorder::Create(pcapPath, simair::PcapLinkType::Radiotap, error);
    if (!air->recorder) {
      out << "zelnicd: pcap: " << error << std::endl;
      return nullptr;
    }
    // Real time: stamps in wall-clock time; virtual time: from 0, the same file every run.
    if (scheduler.mode() == ndis::Scheduler::Mode::RealTime) {
      const auto wall = std::chrono::duration_cast<std::chrono::microseconds>(
          std::chrono::system_clock::now().time_since_epoch());
      air->recorder->setOriginMicros(wall.count() - scheduler.now().count());
    }
    out << "zelnicd: recording the air to " << pcapPath << std::endl;
  }
  // What the access points' peers did (CCX reports, CCKM reassociations), told as it happens.
  const simair::AirLog log = [&out](const std::string& line) { out << "zelnicd: air: " << line << std::endl; };
  air->world = std::make_unique<simair::AirWorld>(scheduler, world, air->recorder.get(), log);
  air->connectSsid = world.connectSsid;
  for (const auto& ap : world.accessPoints) air->accessPointNames.push_back(ap.name);
  if (!worldPath.empty())
    out << "zelnicd: world " << worldPath << ": " << world.accessPoints.size() << " access points" << std::endl;
  for (const simair::WorldAccessPoint& ap : world.accessPoints) {
    out << "zelnicd: air: " << ap.name << " " << simair::dot11::FormatAddress(ap.config.bssid) << " \""
        << ap.config.ssid << "\" channel " << static_cast<int>(ap.config.channel) << " "
        << simair::SecurityName(ap.config.security) << " " << ap.signalDbm << " dBm"
        << (ap.swiftBond ? ", offers Auto Link" : "")
        << (ap.vendorMode ? ", vendor mode " + std::to_string(*ap.vendorMode) : "") << std::endl;
  }
  return air;
}

}  // namespace zelnicd
