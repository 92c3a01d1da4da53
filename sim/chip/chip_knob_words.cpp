#include "sim/chip/chip_knob_words.h"

#include <charconv>
#include <cstdint>
#include <optional>

namespace simchip {
namespace {

constexpr std::uint64_t kMaxLatencyMicros = 60'000'000;  // a minute: the driver gives up long before

std::optional<std::uint64_t> Number(std::string_view text, std::uint64_t high, int base = 10) {
  if (base == 16 && text.starts_with("0x")) text.remove_prefix(2);
  std::uint64_t value = 0;
  const auto [at, problem] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || problem != std::errc() || at != text.data() + text.size() || value > high) return std::nullopt;
  return value;
}

struct Flag {
  std::string_view name;
  bool ChipKnobs::*knob;
};
constexpr Flag kFlags[] = {
    {"boot-never-acknowledged", &ChipKnobs::bootNeverAcknowledged},
    {"never-running", &ChipKnobs::neverRunning},
    {"report-wrong-mac", &ChipKnobs::reportWrongMac},
    {"hold-transmit", &ChipKnobs::holdTransmit},
};

struct Latency {
  std::string_view name;
  ndis::Micros ChipKnobs::*knob;
};
constexpr Latency kLatencies[] = {
    {"mailbox-latency", &ChipKnobs::mailboxLatency},
    {"command-latency", &ChipKnobs::commandLatency},
    {"hardware-spec-latency", &ChipKnobs::hardwareSpecLatency},
    {"transmit-latency", &ChipKnobs::transmitLatency},
};

// Knobs of a number up to `high` (decimal, or hex with base 16).
struct Numbered {
  std::string_view name;
  std::uint64_t high;
  int base;
  std::string_view takes;
  void (*set)(ChipKnobs& knobs, std::uint64_t value);
};
constexpr Numbered kNumbered[] = {
    {"memory-windows", 2, 10, "0, 1 or 2",
     [](ChipKnobs& k, std::uint64_t v) { k.memoryWindows = static_cast<unsigned>(v); }},
    {"refuse-block", 0xFFFF, 10, "an image block from 0 to 65535",
     [](ChipKnobs& k, std::uint64_t v) { k.refuseBlock = static_cast<unsigned>(v); }},
    {"report-tx-ring-register", 0xFFFFFFFF, 16, "a 32-bit offset in hex, like 0x4000",
     [](ChipKnobs& k, std::uint64_t v) { k.reportTxRingRegister = static_cast<std::uint32_t>(v); }},
};

}  // namespace

bool SetChipKnob(ChipKnobs& knobs, std::string_view name, std::string_view value, std::string& error) {
  const std::string quoted = "chip knob '" + std::string(name) + "'";
  for (const Flag& flag : kFlags) {
    if (name != flag.name) continue;
    if (!value.empty()) {
      error = quoted + " takes no value";
      return false;
    }
    knobs.*flag.knob = true;
    return true;
  }
  for (const Latency& latency : kLatencies) {
    if (name != latency.name) continue;
    const auto micros = Number(value, kMaxLatencyMicros);
    if (!micros) {
      error = quoted + " takes microseconds from 0 to " + std::to_string(kMaxLatencyMicros);
      return false;
    }
    knobs.*latency.knob = ndis::Micros(static_cast<ndis::Micros::rep>(*micros));
    return true;
  }
  for (const Numbered& numbered : kNumbered) {
    if (name != numbered.name) continue;
    const auto number = Number(value, numbered.high, numbered.base);
    if (!number) {
      error = quoted + " takes " + std::string(numbered.takes);
      return false;
    }
    numbered.set(knobs, *number);
    return true;
  }
  error = "unknown " + quoted;
  return false;
}

}  // namespace simchip
