#include "hosts/zelnicd/daemon.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "hosts/zelnicd/adapter_parameters.h"
#include "hosts/zelnicd/control_serving.h"
#include "hosts/zelnicd/run_directory.h"
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
        << (error ? error.message() : "not a directory") << std::endl;
    return false;
  }
  out << "zelnicd: run directory " << path << std::endl;
  return true;
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

  const plat::RegistryStore registry(options.registryRoot);
  ndis::AdapterConfig config;
  config.parameters = AdapterParameters(registry);
  out << "zelnicd: adapter key: " << config.parameters.size() << " values from "
      << registry.Root() << std::endl;

  simchip::SimChip chip;
  chip.knobs() = options.knobs;
  chip.setStepLog([&out](const std::string& line) { out << "zelnicd: chip: " << line << std::endl; });
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

  while (!options.once && !stop) scheduler.runUntil([&] { return stop.load(); }, std::chrono::hours(1));

  out << "zelnicd: halting" << std::endl;
  host->halt();
  const auto leaks = host->leaks();
  if (!leaks.empty()) {
    out << "zelnicd: the driver left behind: " << leaks.describe() << std::endl;
    return 1;
  }
  out << "zelnicd: adapter halted" << std::endl;
  return 0;
}

}  // namespace zelnicd
