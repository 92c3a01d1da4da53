#pragma once
// zelnicd's simulated air: the world file's access points on the daemon's scheduler, and the
// pcap every frame goes to. Built before the driver starts, so a bad world or pcap path stops
// the daemon before anything else happens.
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/ndis/scheduler.h"
#include "sim/air/air_world.h"
#include "sim/air/pcap_recorder.h"
#include "sim/chip/chip_config.h"

namespace zelnicd {

struct AirSetup {
  std::unique_ptr<simair::PcapRecorder> recorder;  // declared first: the world records into it
  std::unique_ptr<simair::AirWorld> world;
  std::string connectSsid;  // the world's 'connect' line, if any
  simchip::ChipKnobs chipKnobs;  // the daemon's, with the world's 'chip-knob' lines applied
  std::vector<std::string> accessPointNames;  // in the world's order
};

// The air of `worldPath` (an empty air when empty) recorded to `pcapPath` (if given), and the
// chip's knobs from `knobs` and the world's; nothing, after saying why on `out`, when any of
// them cannot be used.
std::unique_ptr<AirSetup> BuildAir(const std::string& worldPath, const std::string& pcapPath,
                                   const simchip::ChipKnobs& knobs, ndis::Scheduler& scheduler, std::ostream& out);

}  // namespace zelnicd
