// zelnicd's run of the product driver over the simulated chip, in virtual time.
#include "hosts/zelnicd/daemon.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "hosts/zelnicd/adapter_parameters.h"
#include "hosts/zelnicd/driver_entry.h"

namespace zelnicd {
namespace {

using namespace std::chrono_literals;

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
  Options options{true, dir.path("run"), dir.path("registry"), knobs, "", "", "", "", "", {}};
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
  EXPECT_NE(run.lines[0].find("set ZELNIC_RUN_DIR to a directory you may write"), std::string::npos) << run.lines[0];
}

TEST(Zelnicd, ARunDirectoryWithoutRoomForTheLockNamesZelnicRunDir) {
  TemporaryDirectory dir;
  std::filesystem::create_directories(dir.path("run/zelnicd.lock"));  // the lock file cannot be made
  const DaemonRun run = RunOnce(dir);
  EXPECT_EQ(run.status, 1);
  ASSERT_EQ(run.lines.size(), 2u);
  EXPECT_EQ(run.lines[1].rfind("zelnicd: cannot make " + dir.path("run/zelnicd.lock"), 0), 0u) << run.lines[1];
  EXPECT_NE(run.lines[1].find("set ZELNIC_RUN_DIR to a directory you may write"), std::string::npos) << run.lines[1];
}

// zelnicd with a world and a pcap, stopped after `duration` of virtual time.
DaemonRun RunWithAir(const TemporaryDirectory& dir, const std::string& world, const std::string& pcap,
                     ndis::Micros duration) {
  ndis::Scheduler scheduler;
  std::ostringstream out;
  std::atomic<bool> stop{false};
  scheduler.after(duration, ndis::EventKind::Host, "stop", [&stop] { stop = true; });
  Options options{false, dir.path("run"), dir.path("registry"), {}, "", world, pcap, "", "", {}};
  DaemonRun run;
  run.status = RunDaemon(options, &DriverEntry, out, stop, scheduler);
  std::istringstream lines(out.str());
  for (std::string line; std::getline(lines, line);) run.lines.push_back(line);
  return run;
}

// The transmitters (address 2) of the beacons in a radiotap pcap, one entry per beacon.
std::vector<std::string> BeaconSenders(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::vector<std::string> senders;
  if (bytes.size() < 24 || bytes[20] != 127) return senders;  // link type radiotap
  for (std::size_t at = 24; at + 16 <= bytes.size();) {
    const std::size_t length = bytes[at + 8] | (bytes[at + 9] << 8) | (bytes[at + 10] << 16);
    const std::size_t frame = at + 16;
    if (frame + length > bytes.size()) break;
    const std::size_t header = bytes[frame + 2] | (bytes[frame + 3] << 8);  // radiotap length
    if (length >= header + 16 && bytes[frame + header] == 0x80) {
      char sender[18];
      const std::uint8_t* a2 = &bytes[frame + header + 10];
      std::snprintf(sender, sizeof sender, "%02x:%02x:%02x:%02x:%02x:%02x", a2[0], a2[1], a2[2], a2[3], a2[4], a2[5]);
      senders.push_back(sender);
    }
    at = frame + length;
  }
  return senders;
}

TEST(Zelnicd, AWorldsAccessPointsBeaconIntoThePcapWhileTheAdapterRuns) {
  TemporaryDirectory dir;
  const std::string world = std::string(ZELNICD_WORLDS_DIR) + "/office.world";
  const DaemonRun run = RunWithAir(dir, world, dir.path("air.pcap"), 1s);
  for (const auto& line : run.lines) std::cout << line << "\n";
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.has("zelnicd: recording the air to " + dir.path("air.pcap")));
  EXPECT_TRUE(run.has("zelnicd: world " + world + ": 3 access points"));
  EXPECT_TRUE(run.has("zelnicd: air: lobby 02:5a:4c:00:00:01 \"Zelnet Guest\" channel 1 open -48 dBm"));
  EXPECT_TRUE(run.has("zelnicd: air: office 02:5a:4c:00:00:03 \"Zelnet Office\" channel 11 wpa2-psk -55 dBm"));
  EXPECT_TRUE(run.has("zelnicd: chip on the air"));
  EXPECT_TRUE(run.has("zelnicd: adapter started"));
  for (const auto& line : run.lines) EXPECT_EQ(line.find("correct horse"), std::string::npos) << line;

  const auto senders = BeaconSenders(dir.path("air.pcap"));
  for (const char* bssid : {"02:5a:4c:00:00:01", "02:5a:4c:00:00:02", "02:5a:4c:00:00:03"})
    EXPECT_GE(std::count(senders.begin(), senders.end(), bssid), 9) << bssid;  // 1 s of 102.4 ms
  std::size_t recorded = 0;
  ASSERT_EQ(std::sscanf(run.lines.back().c_str(), "zelnicd: %zu frames recorded to", &recorded), 1)
      << run.lines.back();
  EXPECT_GE(recorded, senders.size());
}

TEST(Zelnicd, AnUnusableWorldOrPcapStopsBeforeTheDriver) {
  TemporaryDirectory dir;
  std::ofstream(dir.path("bad.world")) << "ap a\n bssid 02:00:00:00:00:01\n ssid x\n channel 15\n";
  std::ofstream(dir.path("knob.world")) << "chip-knob hold-transmit\nchip-knob command-latency soon\n";
  struct Case {
    std::string world, pcap, line;
  };
  const Case cases[] = {
      {dir.path("none.world"), "", "zelnicd: world: cannot read " + dir.path("none.world") + ": No such file or directory"},
      {dir.path("bad.world"), "", "zelnicd: world: " + dir.path("bad.world") + ":4: channel must be a whole number from 1 to 14"},
      {dir.path("knob.world"), "",
       "zelnicd: world: " + dir.path("knob.world") +
           ":2: chip knob 'command-latency' takes microseconds from 0 to 60000000"},
      {"", dir.path("no/such/dir/air.pcap"),
       "zelnicd: pcap: cannot create " + dir.path("no/such/dir/air.pcap") + ": No such file or directory"},
  };
  for (const Case& c : cases) {
    const DaemonRun run = RunWithAir(dir, c.world, c.pcap, 1s);
    EXPECT_EQ(run.status, 1) << c.line;
    EXPECT_EQ(run.lines.back(), c.line);
    EXPECT_FALSE(run.has("zelnicd: driver loaded")) << c.line;
  }
}

// A demonstration of a fault: the world file's knob makes the chip report another address in
// its hardware specification, and the adapter refuses to start.
TEST(Zelnicd, AWorldsChipKnobReachesTheChip) {
  TemporaryDirectory dir;
  std::ofstream(dir.path("wrong-mac.world")) << "chip-knob report-wrong-mac\n";
  const DaemonRun run = RunWithAir(dir, dir.path("wrong-mac.world"), "", 1s);
  EXPECT_TRUE(run.has("zelnicd: chip knob report-wrong-mac"));
  EXPECT_TRUE(run.has("zelnicd: driver loaded"));
  EXPECT_TRUE(std::any_of(run.lines.begin(), run.lines.end(), [](const std::string& line) {
    return line.starts_with("zelnicd: adapter failed to start: status 0x");
  })) << run.lines.back();
  EXPECT_NE(run.status, 0);
}

std::string WrongType(const std::string& name, const char* found, const char* expected) {
  return std::string("registry value ") + kAdapterKey + "\\" + name + " is " + found + ", not " + expected +
         "; ignored";
}

TEST(AdapterParameters, TheDriversValuesFromTheAdaptersKeyAndThoseOfTheWrongTypeNamed) {
  using plat::RegistryValue;
  struct Case {
    const char* name;
    RegistryValue value;
    std::optional<std::string> taken;  // the registry text the driver reads; none: refused
  };
  const Case cases[] = {
      {"TxAntenna", RegistryValue::Dword(0xFFFF), "FFFF"},  // read as hexadecimal
      {"FragThsd", RegistryValue::Dword(300), "300"},
      {"Channel", RegistryValue::String(" 6 "), " 6 "},  // a number written as text
      {"ChannelRange", RegistryValue::String("0x7FF"), "0x7FF"},
      {"DesiredSSID", RegistryValue::String("HomeNet"), "HomeNet"},
      {"NetworkAddress", RegistryValue::String("02-00-00-00-00-01"), "02-00-00-00-00-01"},
      {"DriverDesc", RegistryValue::Dword(7), std::nullopt},
      {"RadioOn", RegistryValue::String("on"), std::nullopt},
      {"DataRate", RegistryValue::String("6Mb"), std::nullopt},
      {"WepStatus", RegistryValue::String("4294967296"), std::nullopt},  // beyond 32 bits
  };
  TemporaryDirectory dir;
  plat::RegistryStore store(dir.path());
  for (const Case& c : cases) ASSERT_TRUE(store.Set(kAdapterKey, c.name, c.value));
  store.SetString(kAdapterKey, "DriverVersion", "1.0");  // not the driver's: left out
  std::vector<std::string> refused;
  const auto parameters = AdapterParameters(store, &refused);
  std::vector<std::string> expectedRefusals;
  std::size_t taken = 0;
  for (const Case& c : cases) {
    const bool number = c.value.type == RegistryValue::Type::Dword;
    if (c.taken) {
      ++taken;
      EXPECT_EQ(parameters.count(c.name) ? parameters.at(c.name) : "(absent)", *c.taken) << c.name;
    } else {
      EXPECT_FALSE(parameters.count(c.name)) << c.name;
      expectedRefusals.push_back(WrongType(c.name, number ? "a number" : "a string", number ? "a string" : "a number"));
    }
  }
  EXPECT_EQ(parameters.size(), taken);
  std::sort(refused.begin(), refused.end());
  std::sort(expectedRefusals.begin(), expectedRefusals.end());
  EXPECT_EQ(refused, expectedRefusals);
}

TEST(Zelnicd, NamesEachValueOfTheWrongTypeInTheAdaptersKey) {
  TemporaryDirectory dir;
  plat::RegistryStore store(dir.path("registry"));
  store.SetDword(kAdapterKey, "DesiredSSID", 5);
  store.SetString(kAdapterKey, "Channel", "six");
  store.SetDword(kAdapterKey, "FragThsd", 300);
  const DaemonRun run = RunOnce(dir);
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.has("zelnicd: adapter key: 1 values from " + dir.path("registry")));
  EXPECT_TRUE(run.has("zelnicd: adapter key: " + WrongType("DesiredSSID", "a number", "a string")));
  EXPECT_TRUE(run.has("zelnicd: adapter key: " + WrongType("Channel", "a string", "a number")));
}

}  // namespace
}  // namespace zelnicd
