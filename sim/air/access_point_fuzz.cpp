// Arbitrary frames from a station at an access point (an IBSS peer when the first byte is
// 0xFF, a WPA-Enterprise one offering CCKM, which reads the CCKM request of a reassociation,
// when it is 0xFE): each input is a run of frames, each preceded by its length byte; between
// frames the access point may beacon and release what it buffered.
#include <chrono>

#include "sim/air/access_point.h"
#include "sim/air/association_security.h"
#include "sim/air/distribution_port.h"
#include "sim/air/medium.h"

namespace {

class FuzzStation final : public simair::Radio {
public:
  simair::MacAddress address() const override { return {0x00, 0x1E, 0x4D, 0x2D, 0x17, 0x01}; }
  std::uint8_t channel() const override { return 6; }
  bool radioOn() const override { return true; }
  void receive(const simair::AirFrame&, const simair::Reception&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ndis::Scheduler scheduler;
  simair::Medium medium(scheduler);
  simair::AccessPointConfig config;
  config.bssid = {0x02, 0, 0, 0, 0, 1};
  config.ssid = "zelnet";
  config.channel = 6;
  config.beaconIntervalTu = 10;
  config.security = simair::Security::Wpa2;
  config.independent = size > 0 && data[0] == 0xFF;
  if (size > 0 && data[0] == 0xFE) {
    config.security = simair::Security::WpaEnterprise;
    config.cckm = true;
  }
  simair::AccessPoint ap(scheduler, medium, config);
  simair::DistributionPort port(ap);  // data frames of associated stations go through its reader
  ap.setReassociationElements([](const simair::MacAddress&, std::span<const std::uint8_t> elements) {
    (void)simair::NamesCckm(elements);
    const auto request = simair::CckmRequestElement(elements);
    if (request && (request->size() < 2 || request->size() != 2u + (*request)[1])) __builtin_trap();  // whole
    return simair::dot11::Bytes{};
  });
  FuzzStation station;
  medium.join(station);
  ap.start();
  for (size_t at = config.cckm ? 1 : 0; at < size;) {  // the byte that chose CCKM is no frame
    const size_t length = data[at++];
    const size_t take = length < size - at ? length : size - at;
    medium.transmit(station, {std::vector<uint8_t>(data + at, data + at + take), 6, 2});
    at += take;
    ap.sendData(station.address(), {0x02, 0, 0, 0, 0, 9}, {0xAA, 0xAA, 0x03, 0, 0, 0, 0x88, 0xB5});
    scheduler.runFor(std::chrono::milliseconds(3));
    while (port.take()) {
    }
  }
  medium.leave(station);
  return 0;
}
