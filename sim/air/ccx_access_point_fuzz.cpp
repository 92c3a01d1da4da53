// Arbitrary IAPP bodies and reassociation requests from a station at a CCX access point: the
// access point reads reports, adjacent-AP reports and lists only within the frame.
#include <chrono>

#include "sim/air/ccx_access_point.h"
#include "sim/air/medium.h"

namespace {

class FuzzStation final : public simair::Radio {
public:
  simair::MacAddress address() const override { return {0x00, 0x1E, 0x4D, 0x2D, 0x17, 0x01}; }
  std::uint8_t channel() const override { return 6; }
  bool radioOn() const override { return true; }
  void receive(const simair::AirFrame&, const simair::Reception&) override {}
};

std::vector<std::uint8_t> Frame(std::uint8_t frameControl, std::uint8_t flags, const simair::MacAddress& bssid,
                                const simair::MacAddress& station, const uint8_t* body, size_t size) {
  std::vector<std::uint8_t> f = {frameControl, flags, 0, 0};
  f.insert(f.end(), bssid.begin(), bssid.end());
  f.insert(f.end(), station.begin(), station.end());
  f.insert(f.end(), bssid.begin(), bssid.end());
  f.insert(f.end(), {0x10, 0});
  f.insert(f.end(), body, body + size);
  return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ndis::Scheduler scheduler;
  simair::Medium medium(scheduler);
  simair::AccessPointConfig config;
  config.bssid = {0x02, 0x40, 0x96, 0, 0, 1};
  config.ssid = "ccx";
  config.channel = 6;
  simair::AccessPoint ap(scheduler, medium, config);
  simair::CcxAccessPoint ccx(scheduler, ap);
  FuzzStation station;
  medium.join(station);
  ap.start();
  // As a data frame to the distribution system (an IAPP body), and as a reassociation request.
  medium.transmit(station, {Frame(0x08, 0x01, config.bssid, station.address(), data, size), 6, 2});
  medium.transmit(station, {Frame(0x20, 0x00, config.bssid, station.address(), data, size), 6, 2});
  scheduler.runFor(std::chrono::milliseconds(3));
  for (const auto& report : ccx.reports())
    for (const auto& element : report.elements)
      if (element.fields.size() > size) __builtin_trap();
  for (const auto& adjacent : ccx.adjacentReports())
    if (adjacent.ssid.size() > size) __builtin_trap();
  medium.leave(station);
  return 0;
}
