#include "hosts/adapterctl/sim/sim_scenario.h"

#include <charconv>

#include "platform/win32/ascii_text.h"
#include "platform/win32/atomic_file.h"

namespace zelcon {
namespace {

using plat::TrimBlanks;

template <typename T>
bool ParseNumber(std::string_view s, T& out) {
  s = TrimBlanks(s);
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    s.remove_prefix(2);
    base = 16;
  }
  if (s.empty()) return false;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out, base);
  return ec == std::errc() && end == s.data() + s.size();
}

bool ParseMac(std::string_view s, uint8_t (&mac)[6]) {
  s = TrimBlanks(s);
  if (s.size() != 17) return false;
  for (int i = 0; i < 6; ++i) {
    if (i < 5 && s[i * 3 + 2] != '-' && s[i * 3 + 2] != ':') return false;
    auto [end, ec] = std::from_chars(s.data() + i * 3, s.data() + i * 3 + 2, mac[i], 16);
    if (ec != std::errc() || end != s.data() + i * 3 + 2) return false;
  }
  return true;
}

std::vector<std::string_view> SplitFields(std::string_view s) {
  std::vector<std::string_view> fields;
  for (;;) {
    size_t bar = s.find('|');
    fields.push_back(TrimBlanks(s.substr(0, bar)));
    if (bar == std::string_view::npos) return fields;
    s.remove_prefix(bar + 1);
  }
}

std::optional<std::string> ParseBss(std::string_view value, SimBss& bss) {
  std::vector<std::string_view> f = SplitFields(value);
  if (f.size() != 7 && f.size() != 8) return "bss needs 7 or 8 fields separated by |";
  if (f[0].size() > 32) return "SSID longer than 32 bytes";
  bss.ssid = std::string(f[0]);
  if (!ParseMac(f[1], bss.bssid)) return "bad BSSID";
  if (!ParseNumber(f[2], bss.channel) || bss.channel < 1 || bss.channel > 14)
    return "channel must be 1-14";
  if (!ParseNumber(f[3], bss.rssi)) return "bad RSSI";
  if (f[4] == "open") bss.security = SimBss::Security::Open;
  else if (f[4] == "wep") bss.security = SimBss::Security::Wep;
  else if (f[4] == "wpa-psk") bss.security = SimBss::Security::WpaPsk;
  else if (f[4] == "wpa2-psk") bss.security = SimBss::Security::Wpa2Psk;
  else return "security must be open, wep, wpa-psk or wpa2-psk";
  if (f[5] != "infra" && f[5] != "adhoc") return "mode must be infra or adhoc";
  bss.infrastructure = f[5] == "infra";
  if (f[6] != "b" && f[6] != "g") return "rate class must be b or g";
  bss.bOnly = f[6] == "b";
  if (f.size() == 8) {
    uint8_t flags = 0;
    if (!ParseNumber(f[7], flags)) return "bad Auto Link flags";
    bss.autoLinkFlags = flags;
  }
  return std::nullopt;
}

std::optional<std::string> ParseLine(std::string_view key, std::string_view value,
                                     SimScenario& s) {
  auto number = [&](auto& out) -> std::optional<std::string> {
    if (!ParseNumber(value, out)) return "bad number";
    return std::nullopt;
  };
  if (key == "present") {
    uint32_t present = 0;
    if (auto e = number(present)) return e;
    s.present = present != 0;
    return std::nullopt;
  }
  if (key == "mac") return ParseMac(value, s.mac) ? std::nullopt : std::optional<std::string>("bad MAC");
  if (key == "region") return number(s.region);
  if (key == "radio") {
    if (auto e = number(s.radio)) return e;
    return s.radio <= 2 ? std::nullopt : std::optional<std::string>("radio must be 0, 1 or 2");
  }
  if (key == "description") return s.description = std::string(value), std::nullopt;
  if (key == "chip_version") return number(s.chipVersion);
  if (key == "firmware_version") return number(s.firmwareVersion);
  if (key == "driver_version") return s.driverVersion = std::string(value), std::nullopt;
  if (key == "driver_date") return s.driverDate = std::string(value), std::nullopt;
  if (key == "dhcp") return number(s.dhcp);
  if (key == "connect_delay_ms") return number(s.connectDelayMs);
  if (key == "bss") {
    if (s.networks.size() >= SimScenario::kMaxNetworks) return "too many networks";
    SimBss bss;
    if (auto e = ParseBss(value, bss)) return e;
    s.networks.push_back(bss);
    return std::nullopt;
  }
  if (key == "connect") {
    std::vector<std::string_view> f = SplitFields(value);
    if (f.size() != 2 || f[0].size() > 32) return "connect needs SSID | result";
    s.connectResults[std::string(f[0])] = std::string(f[1]);
    return std::nullopt;
  }
  if (key == "swiftbond") {
    if (value != "success" && value != "failure") return "swiftbond must be success or failure";
    s.swiftBondSucceeds = value == "success";
    return std::nullopt;
  }
  if (key == "counter") {
    size_t space = value.find(' ');
    int64_t v = 0;
    if (space == std::string_view::npos || !ParseNumber(value.substr(space + 1), v))
      return "counter needs a name and a number";
    s.counters[std::string(value.substr(0, space))] = v;
    return std::nullopt;
  }
  if (key == "event") {
    if (s.events.size() >= SimScenario::kMaxEvents) return "too many events";
    SimEvent e;
    size_t first = value.find(' ');
    if (first == std::string_view::npos || !ParseNumber(value.substr(0, first), e.delayMs))
      return "event needs a delay and a code";
    std::string_view rest = TrimBlanks(value.substr(first + 1));
    size_t second = rest.find(' ');
    if (!ParseNumber(rest.substr(0, second), e.code)) return "bad event code";
    if (second != std::string_view::npos) e.text = std::string(TrimBlanks(rest.substr(second + 1)));
    s.events.push_back(e);
    return std::nullopt;
  }
  return "unknown key";
}

}  // namespace

SimScenarioResult ParseSimScenario(std::string_view text) {
  SimScenario scenario;
  size_t lineNumber = 0;
  while (!text.empty()) {
    ++lineNumber;
    size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = TrimBlanks(line);
    if (line.empty() || line.front() == '#') continue;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos)
      return {std::nullopt, "line " + std::to_string(lineNumber) + ": expected key = value"};
    if (auto error = ParseLine(TrimBlanks(line.substr(0, eq)), TrimBlanks(line.substr(eq + 1)),
                               scenario))
      return {std::nullopt, "line " + std::to_string(lineNumber) + ": " + *error};
  }
  return {scenario, {}};
}

SimScenarioResult LoadSimScenario(const std::string& path) {
  std::optional<std::string> text = plat::ReadWholeFile(path, SimScenario::kMaxFileBytes);
  if (!text) return {std::nullopt, path + ": cannot be read"};
  SimScenarioResult result = ParseSimScenario(*text);
  if (!result.scenario) result.error = path + ": " + result.error;
  return result;
}

}  // namespace zelcon
