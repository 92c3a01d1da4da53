#include "hosts/zelnicd/daemon.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "hosts/zelnicd/adapter_parameters.h"
#include "hosts/zelnicd/control_serving.h"
#include "hosts/zelnicd/run_directory.h"
#include "hosts/zelnicd/air_setup.h"
#include "hosts/zelnicd/connect_step.h"
#include "sim/chip/sim_chip.h"

namespace zelnicd {
namespace {

std::string StatusText(NDIS_STATUS status) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
  return text;
}

bool MakeRunDir(const std::string& path, std::ostream& out) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (error || !std::filesystem::is_directory(path)) {
    out << "zelnicd: cannot use run directory " << path << ": "
        << (error ? error.message() : "not a directory") << kRunDirHint << std::endl;
    return false;
  }
  out << "zelnicd: run directory " << path << std::endl;
  return true;
}

// What the access points' data planes made of the stations' frames: those opened under the
// keys they agreed (integrity checked), and those refused.
void ReportDataPlanes(AirSetup& air, std::ostream& out) {
  for (std::size_t i = 0; i < air.world->size(); ++i) {
    const simair::DistributionPort* port = air.world->distributionPort(i);
    if (port == nullptr || (port->keys().counters().opened == 0 && port->refused() == 0)) continue;
    out << "zelnicd: air: " << air.accessPointNames[i] << ": data frames from stations: " << port->keys().counters().opened
        << " opened under their keys, " << port->refused() << " refused" << std::endl;
  }
}

}  // namespace

int RunDaemon(const Options& options, const ndis::DriverEntryFn& entry, std::ostream& out,
              const std::atomic<bool>& stop, ndis::Scheduler& scheduler) {
  if (!MakeRunDir(options.runDir, out)) return 1;
  std::string lockError;
  const std::optional<RunDirLock> lock = RunDirLock::take(options.runDir, &lockError);
  if (!lock) {
    out << "zelnicd: " << lockError << std::endl;
    return 1;
  }
  // Before the chip: the chip is destroyed (and leaves the air) before the air goes.
  const auto air = BuildAir(options.worldPath, options.pcapPath, options.knobs, scheduler, out);
  if (!air) return 1;

  plat::RegistryStore registry(options.registryRoot);
  if (!WriteDriverRelease(registry))
    out << "zelnicd: the driver's release could not be written to the adapter key in "
        << registry.Root() << " (the utility's About page leaves it out)" << std::endl;
  ndis::AdapterConfig config;
  std::vector<std::string> refused;
  config.parameters = AdapterParameters(registry, &refused);
  out << "zelnicd: adapter key: " << config.parameters.size() << " values from "
      << registry.Root() << std::endl;
  for (const std::string& refusal : refused) out << "zelnicd: adapter key: " << refusal << std::endl;

  simchip::SimChip chip;
  chip.knobs() = air->chipKnobs;
  chip.logCommands(false);  // a daemon runs for long: a log of every command would only grow
  chip.setStepLog([&out](const std::string& line) { out << "zelnicd: chip: " << line << std::endl; });
  chip.attachAir(air->world->medium());
  struct AirLink {  // the chip leaves the air on every way out
    simchip::SimChip& chip;
    ~AirLink() { chip.detachAir(); }
  } link{chip};
  out << "zelnicd: chip on the air" << std::endl;
  auto host = ndis::NdisHost::load(entry, config, chip, scheduler);
  if (host->driverEntryStatus() != NDIS_STATUS_SUCCESS || !host->registered()) {
    out << "zelnicd: driver entry failed: status " << StatusText(host->driverEntryStatus())
        << std::endl;
    return 1;
  }
  out << "zelnicd: driver loaded" << std::endl;

  const NDIS_STATUS status = host->initialize();
  if (status != NDIS_STATUS_SUCCESS) {
    out << "zelnicd: adapter failed to start: status " << StatusText(status) << std::endl;
    return 1;
  }
  out << "zelnicd: adapter started" << std::endl;
  // Served until the halt is over, so the utility can close while the driver waits for it.
  const auto server = ServeControlDevice(*host, scheduler, options, out);
  // --connect, else the world's 'connect' line.
  const std::string& ssid = !options.connectSsid.empty() ? options.connectSsid : air->connectSsid;
  const bool connected = ssid.empty() || ConnectToSsid(*host, ssid, out);

  TapServing taps;
  const bool tapsServed = ServeTaps(options.tap, options.accessPointTap, *host, *air, scheduler, out, taps);
  while (tapsServed && !options.once && !stop) {
    scheduler.runUntil([&] { return stop.load() || taps.work(); }, std::chrono::hours(1));
    taps.pump();
  }
  taps = {};  // closed before the adapter halts

  out << "zelnicd: halting" << std::endl;
  // The driver waits for its control device's clients to close (up to 100 s): once it has
  // told them the adapter goes, their connections end.
  if (server) server->endConnectionsAtHalt();
  host->halt();
  const auto leaks = host->leaks();
  if (!leaks.empty()) {
    out << "zelnicd: the driver left behind: " << leaks.describe() << std::endl;
    return 1;
  }
  out << "zelnicd: adapter halted" << std::endl;
  ReportDataPlanes(*air, out);
  if (!connected || !tapsServed) return 1;
  if (air->recorder) {
    out << "zelnicd: " << air->recorder->framesRecorded() << " frames recorded to " << options.pcapPath << std::endl;
    if (!air->recorder->healthy()) {
      out << "zelnicd: writing " << options.pcapPath << " failed; the pcap is cut short" << std::endl;
      return 1;
    }
  }
  return 0;
}

}  // namespace zelnicd
