// zelnicd's run of the product driver over the simulated chip, in virtual time.
#include "hosts/zelnicd/daemon.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "hosts/zelnicd/adapter_parameters.h"
#include "hosts/zelnicd/driver_entry.h"

namespace zelnicd {
namespace {

class TemporaryDirectory {
public:
  TemporaryDirectory() {
    char pattern[] = "/tmp/zelnicd-test-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~TemporaryDirectory() { std::filesystem::remove_all(path_); }
  std::string path(const std::string& leaf = "") const { return leaf.empty() ? path_ : path_ + "/" + leaf; }

private:
  std::string path_;
};

struct DaemonRun {
  int status = -1;
  std::vector<std::string> lines;
  bool has(const std::string& line) const {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
};

DaemonRun RunOnce(const TemporaryDirectory& dir, simchip::ChipKnobs knobs = {}) {
  ndis::Scheduler scheduler;
  std::ostringstream out;
  std::atomic<bool> stop{false};
  Options options{true, dir.path("run"), dir.path("registry"), knobs, ""};
  DaemonRun run;
  run.status = RunDaemon(options, &DriverEntry, out, stop, scheduler);
  std::istringstream lines(out.str());
  for (std::string line; std::getline(lines, line);) run.lines.push_back(line);
  return run;
}

TEST(Zelnicd, OnceStartsTheAdapterOnTheSimulatedChipAndHaltsIt) {
  TemporaryDirectory dir;
  const DaemonRun run = RunOnce(dir);
  for (const auto& line : run.lines) std::cout << line << "\n";  // what zelnicd shows
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(std::filesystem::is_directory(dir.path("run")));
  EXPECT_TRUE(run.has("zelnicd: chip: boot block accepted"));
  EXPECT_TRUE(run.has("zelnicd: chip: firmware image accepted: 479 blocks of 256 bytes, release 2.9.1.20"));
  EXPECT_TRUE(run.has(
      "zelnicd: chip: hardware specification: MAC 00-1E-4D-2D-17-01, region 0x10, firmware release 2.9.1.20"));
  EXPECT_TRUE(run.has("zelnicd: adapter started"));
  EXPECT_EQ(run.lines.back(), "zelnicd: adapter halted");
}

TEST(Zelnicd, AFailedStartSaysWhyAndEndsWithFailure) {
  TemporaryDirectory dir;
  simchip::ChipKnobs knobs;
  knobs.neverRunning = true;
  const DaemonRun run = RunOnce(dir, knobs);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.lines.back(), "zelnicd: adapter failed to start: status 0xC0000001");
}

TEST(Zelnicd, AnUnusableRunDirectoryStopsBeforeTheDriver) {
  TemporaryDirectory dir;
  std::ofstream(dir.path("run")) << "a file, not a directory";
  const DaemonRun run = RunOnce(dir);
  EXPECT_EQ(run.status, 1);
  ASSERT_EQ(run.lines.size(), 1u);
  EXPECT_NE(run.lines[0].find("cannot use run directory"), std::string::npos);
}

TEST(AdapterParameters, TheDriversValuesFromTheAdaptersKey) {
  TemporaryDirectory dir;
  plat::RegistryStore store(dir.path());
  store.SetDword(kAdapterKey, "TxAntenna", 0xFFFF);  // read as hexadecimal
  store.SetDword(kAdapterKey, "FragThsd", 300);
  store.SetString(kAdapterKey, "DesiredSSID", "HomeNet");
  store.SetString(kAdapterKey, "NetworkAddress", "02-00-00-00-00-01");
  store.SetString(kAdapterKey, "DriverVersion", "1.0");  // not the driver's: left out
  const auto parameters = AdapterParameters(store);
  EXPECT_EQ(parameters.size(), 4u);
  EXPECT_EQ(parameters.at("TxAntenna"), "FFFF");
  EXPECT_EQ(parameters.at("FragThsd"), "300");
  EXPECT_EQ(parameters.at("DesiredSSID"), "HomeNet");
  EXPECT_EQ(parameters.at("NetworkAddress"), "02-00-00-00-00-01");
}

}  // namespace
}  // namespace zelnicd
