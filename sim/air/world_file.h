#pragma once
// The world file: the access points around the station, how strong each one is heard, and
// scripted changes over time (sim/air/README.md describes the format). The parser checks
// every value against its bounds and says which line is wrong; pass phrases and keys never
// appear in an error.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/air/access_point.h"
#include "sim/air/ccx_access_point.h"

namespace simair {

struct WorldAccessPoint {
  std::string name;
  AccessPointConfig config;
  int signalDbm = -50;  // what the station receives of it
  bool swiftBond = false;                  // 'swiftbond': offers Auto Link (its element is in config)
  std::optional<std::uint8_t> vendorMode;  // 'vendor-mode': the maker's vendor-mode frame after association
  int line = 0;
  bool ccx = false;  // a CCX access point: it reads the IAPP frames stations send it
  // What it asks each station for once associated ('ccx-measure' lines), in one request.
  std::vector<CcxMeasurementAsk> ccxMeasurements;
};

struct WorldChange {
  enum class Kind : std::uint8_t { Signal, Off, On, Deauthenticate, Disassociate };
  std::int64_t atMicros = 0;  // after the world starts
  std::size_t accessPoint = 0;  // index into World::accessPoints
  Kind kind = Kind::Signal;
  int signalDbm = 0;
};

// A fault knob of the simulated chip, for demonstrations: its meaning is the chip's
// (sim/chip/chip_knob_words.h), which also refuses what does not fit.
struct WorldChipKnob {
  std::string name;
  std::string value;  // empty for an on/off knob
  std::size_t line = 0;
};

struct World {
  static constexpr MacAddress kDefaultStation{0x00, 0x1E, 0x4D, 0x2D, 0x17, 0x01};
  MacAddress station = kDefaultStation;  // where the signals are measured
  int defaultLossDb = 100;               // between any other pair of radios
  std::string connectSsid;               // the network the station is to join ('connect'); empty: none
  std::vector<WorldAccessPoint> accessPoints;
  std::vector<WorldChange> changes;      // in the order of the file
  std::vector<WorldChipKnob> chipKnobs;  // 'chip-knob NAME [VALUE]' lines, in the order of the file
};

struct WorldLimits {
  static constexpr std::size_t kMaxLineBytes = 4096;
  static constexpr std::size_t kMaxFileBytes = 1 << 20;
  static constexpr std::size_t kMaxAccessPoints = 64;
  static constexpr std::size_t kMaxChanges = 4096;
  static constexpr std::size_t kMaxVendorElements = 8;
  static constexpr std::size_t kMaxChipKnobs = 16;
  static constexpr std::size_t kMaxCcxMeasurements = 8;  // per access point
  static constexpr std::int64_t kMaxChangeTimeMicros = 86'400'000'000;  // one day
};

// The world, or nothing with `error` = "line N: what is wrong".
std::optional<World> ParseWorld(std::string_view text, std::string& error);
// The same from a file; errors read "PATH:N: what is wrong" or "cannot read PATH: why".
std::optional<World> LoadWorldFile(const std::string& path, std::string& error);

}  // namespace simair
