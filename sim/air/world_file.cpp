#include "sim/air/world_file.h"

#include <arpa/inet.h>
#include <openssl/crypto.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "sim/air/authenticator_crypto.h"
#include "sim/air/ccx_access_point.h"
#include "sim/air/ckip_protection.h"
#include "sim/air/swiftbond_access_point.h"

namespace simair {
namespace {

using Tokens = std::vector<std::string>;

// Overwrites the tokens of a line (they may hold a pass phrase or a key).
void Wipe(Tokens& tokens) {
  for (std::string& token : tokens) OPENSSL_cleanse(token.data(), token.size());
  tokens.clear();
}

struct RateName {
  std::string_view text;
  std::uint8_t halfMbps;
};
constexpr RateName kRates[] = {{"1", 2},   {"2", 4},   {"5.5", 11}, {"11", 22}, {"6", 12},  {"9", 18},
                               {"12", 24}, {"18", 36}, {"24", 48},  {"36", 72}, {"48", 96}, {"54", 108}};

class WorldParser {
public:
  std::optional<World> parse(std::string_view text, std::string& error) {
    std::size_t start = 0;
    while (start <= text.size()) {
      const std::size_t end = std::min(text.find('\n', start), text.size());
      ++line_;
      std::string_view line = text.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (!parseLine(line)) {
        error = error_;
        return std::nullopt;
      }
      if (end == text.size()) break;
      start = end + 1;
    }
    if (!finishAccessPoint()) {
      error = error_;
      return std::nullopt;
    }
    return std::move(world_);
  }

private:
  bool fail(const std::string& message) {
    error_ = "line " + std::to_string(line_) + ": " + message;
    return false;
  }

  // Splits a line into words; "double quotes" keep spaces and take \" and \\; # starts a
  // comment outside quotes.
  bool tokenize(std::string_view line, Tokens& tokens) {
    if (line.size() > WorldLimits::kMaxLineBytes)
      return fail("line longer than " + std::to_string(WorldLimits::kMaxLineBytes) + " bytes");
    std::size_t i = 0;
    while (i < line.size()) {
      const char c = line[i];
      if (static_cast<unsigned char>(c) < 0x20 && c != '\t') return fail("control character in the line");
      if (c == 0x7F) return fail("control character in the line");
      if (c == ' ' || c == '\t') {
        ++i;
        continue;
      }
      if (c == '#') break;
      std::string token;
      token.reserve(line.size());  // no reallocation leaves a copy of a secret behind
      if (c == '"') {
        ++i;
        bool closed = false;
        while (i < line.size()) {
          char d = line[i++];
          if (static_cast<unsigned char>(d) < 0x20 || d == 0x7F) return fail("control character in the line");
          if (d == '"') {
            closed = true;
            break;
          }
          if (d == '\\') {
            if (i == line.size() || (line[i] != '"' && line[i] != '\\'))
              return fail("only \\\" and \\\\ may follow a backslash in quotes");
            d = line[i++];
          }
          token.push_back(d);
        }
        if (!closed) return fail("quotes not closed");
        if (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '#')
          return fail("a space must follow closing quotes");
      } else {
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '#') {
          if (line[i] == '"') return fail("quotes inside a word");
          if (static_cast<unsigned char>(line[i]) < 0x20 || line[i] == 0x7F) return fail("control character in the line");
          token.push_back(line[i++]);
        }
      }
      tokens.push_back(std::move(token));
    }
    return true;
  }

  bool parseLine(std::string_view line) {
    Tokens tokens;
    const bool ok = tokenize(line, tokens) && (tokens.empty() || apply(tokens));
    Wipe(tokens);
    return ok;
  }

  bool arguments(const Tokens& tokens, std::size_t count) {
    if (tokens.size() == count + 1) return true;
    return fail("'" + tokens[0] + "' takes " + std::to_string(count) + (count == 1 ? " value" : " values"));
  }

  std::optional<long> number(const std::string& token, long low, long high, const std::string& what) {
    long value = 0;
    const char* end = token.data() + token.size();
    const auto [at, problem] = std::from_chars(token.data(), end, value);
    if (problem != std::errc() || at != end || value < low || value > high) {
      fail(what + " must be a whole number from " + std::to_string(low) + " to " + std::to_string(high));
      return std::nullopt;
    }
    return value;
  }

  // Hex digits, optionally separated by ':' or '-'.
  std::optional<dot11::Bytes> hexBytes(const std::string& token, const std::string& what) {
    dot11::Bytes bytes;
    int half = -1;
    for (char c : token) {
      if (c == ':' || c == '-') continue;
      int digit;
      if (c >= '0' && c <= '9') digit = c - '0';
      else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      else {
        fail(what + " must be hex digits");
        return std::nullopt;
      }
      if (half < 0) {
        half = digit;
      } else {
        bytes.push_back(static_cast<std::uint8_t>(half * 16 + digit));
        half = -1;
      }
    }
    if (half >= 0) {
      fail(what + " must have an even number of hex digits");
      return std::nullopt;
    }
    return bytes;
  }

  // "30", "30s", "2.5s", "1500ms": a time after the start.
  std::optional<std::int64_t> time(const std::string& token) {
    std::string_view text = token;
    std::int64_t scale = 1'000'000;
    if (text.ends_with("ms")) {
      scale = 1'000;
      text.remove_suffix(2);
    } else if (text.ends_with("s")) {
      text.remove_suffix(1);
    }
    const std::size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? std::string_view{} : text.substr(dot + 1);
    const auto digits = [](std::string_view s) { return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }); };
    const bool wellFormed = !whole.empty() && whole.size() <= 11 && digits(whole) && fraction.size() <= 6 &&
                            digits(fraction) && (dot == std::string_view::npos || !fraction.empty());
    if (wellFormed) {
      std::int64_t micros = 0;
      for (char c : whole) micros = micros * 10 + (c - '0');
      micros *= scale;
      std::int64_t unit = scale;
      for (char c : fraction) {
        unit /= 10;
        micros += (c - '0') * unit;
      }
      if (micros <= WorldLimits::kMaxChangeTimeMicros) return micros;
    }
    fail("time must be like 30s, 2.5s or 1500ms, at most one day");
    return std::nullopt;
  }

  bool apply(const Tokens& tokens) {
    const std::string& keyword = tokens[0];
    if (keyword == "station") {
      if (!finishAccessPoint() || !arguments(tokens, 1)) return false;
      const auto address = dot11::ParseAddress(tokens[1]);
      if (!address || dot11::IsGroup(*address)) return fail("station must be a unicast address like 00:1e:4d:2d:17:01");
      world_.station = *address;
      return true;
    }
    if (keyword == "connect") {
      if (!finishAccessPoint() || !arguments(tokens, 1)) return false;
      if (tokens[1].empty() || tokens[1].size() > 32) return fail("connect names an SSID of 1 to 32 bytes");
      world_.connectSsid = tokens[1];
      return true;
    }
    if (keyword == "default-loss") {
      if (!finishAccessPoint() || !arguments(tokens, 1)) return false;
      const auto loss = number(tokens[1], 0, 200, "default-loss");
      if (!loss) return false;
      world_.defaultLossDb = static_cast<int>(*loss);
      return true;
    }
    if (keyword == "chip-knob") {
      if (!finishAccessPoint()) return false;
      if (tokens.size() != 2 && tokens.size() != 3) return fail("'chip-knob' takes a knob's name and maybe its value");
      if (world_.chipKnobs.size() == WorldLimits::kMaxChipKnobs)
        return fail("more than " + std::to_string(WorldLimits::kMaxChipKnobs) + " chip knobs");
      world_.chipKnobs.push_back({tokens[1], tokens.size() == 3 ? tokens[2] : std::string(), static_cast<std::size_t>(line_)});
      return true;
    }
    if (keyword == "ap") return startAccessPoint(tokens);
    if (keyword == "at") return change(tokens);
    if (current_) return property(tokens);
    static const std::set<std::string> kProperties{"bssid", "ssid", "hidden", "channel", "beacon-interval", "dtim",
                                                   "rates", "security", "passphrase", "wep-key", "wep-tx-key",
                                                   "vendor", "signal", "power", "ibss", "auth", "auth-status",
                                                   "assoc-status", "silent-auth", "silent-assoc", "radius-server",
                                                   "radius-port", "radius-secret", "swiftbond", "vendor-mode",
                                                   "bad-michael", "group-rekey", "pairwise-rekey"};
    if (kProperties.contains(keyword)) return fail("'" + keyword + "' outside an access point (start one with 'ap NAME')");
    return fail("unknown keyword '" + keyword + "'");
  }

  bool startAccessPoint(const Tokens& tokens) {
    if (!finishAccessPoint() || !arguments(tokens, 1)) return false;
    if (world_.accessPoints.size() == WorldLimits::kMaxAccessPoints)
      return fail("more than " + std::to_string(WorldLimits::kMaxAccessPoints) + " access points");
    if (tokens[1].empty() || tokens[1].size() > 32) return fail("an access point's name has 1 to 32 characters");
    if (findAccessPoint(tokens[1])) return fail("access point '" + tokens[1] + "' defined twice");
    WorldAccessPoint ap;
    ap.name = tokens[1];
    ap.line = line_;
    world_.accessPoints.push_back(std::move(ap));
    current_ = true;
    given_.clear();
    return true;
  }

  std::optional<std::size_t> findAccessPoint(const std::string& name) const {
    for (std::size_t i = 0; i < world_.accessPoints.size(); ++i)
      if (world_.accessPoints[i].name == name) return i;
    return std::nullopt;
  }

  bool property(const Tokens& tokens) {
    const std::string& keyword = tokens[0];
    WorldAccessPoint& ap = world_.accessPoints.back();
    AccessPointConfig& config = ap.config;
    if (keyword == "ccx-measure") return ccxMeasure(tokens, ap);
    const bool repeatable = keyword == "wep-key" || keyword == "vendor";
    if (!repeatable && !given_.insert(keyword).second) return fail("'" + keyword + "' given twice for this access point");

    if (keyword == "bssid") {
      if (!arguments(tokens, 1)) return false;
      const auto address = dot11::ParseAddress(tokens[1]);
      if (!address || dot11::IsGroup(*address) || *address == MacAddress{})
        return fail("bssid must be a unicast address like 02:00:00:00:01:01");
      for (std::size_t i = 0; i + 1 < world_.accessPoints.size(); ++i)
        if (world_.accessPoints[i].config.bssid == *address)
          return fail("bssid already used by access point '" + world_.accessPoints[i].name + "'");
      config.bssid = *address;
    } else if (keyword == "ssid") {
      if (!arguments(tokens, 1)) return false;
      if (tokens[1].size() > 32) return fail("ssid has at most 32 bytes");
      config.ssid = tokens[1];
    } else if (keyword == "hidden" || keyword == "ibss") {
      if (!arguments(tokens, 0)) return false;
      (keyword == "hidden" ? config.hiddenSsid : config.independent) = true;
    } else if (keyword == "channel") {
      if (!arguments(tokens, 1)) return false;
      const auto channel = number(tokens[1], 1, 14, "channel");
      if (!channel) return false;
      config.channel = static_cast<std::uint8_t>(*channel);
    } else if (keyword == "beacon-interval") {
      if (!arguments(tokens, 1)) return false;
      const auto interval = number(tokens[1], 1, 65535, "beacon-interval (TU)");
      if (!interval) return false;
      config.beaconIntervalTu = static_cast<std::uint16_t>(*interval);
    } else if (keyword == "dtim") {
      if (!arguments(tokens, 1)) return false;
      const auto period = number(tokens[1], 1, 255, "dtim");
      if (!period) return false;
      config.dtimPeriod = static_cast<std::uint8_t>(*period);
    } else if (keyword == "rates") {
      return rates(tokens, config);
    } else if (keyword == "security") {
      if (!arguments(tokens, 1)) return false;
      constexpr Security kAll[] = {Security::Open, Security::Wep, Security::Wpa, Security::Wpa2, Security::WpaWpa2,
                                   Security::Wpa2Enterprise, Security::WpaEnterprise};
      const auto found = std::find_if(std::begin(kAll), std::end(kAll), [&](Security s) { return tokens[1] == SecurityName(s); });
      if (found == std::end(kAll))
        return fail("security must be open, wep, wpa-psk, wpa2-psk, wpa-wpa2-psk, wpa2-enterprise or wpa-enterprise");
      config.security = *found;
    } else if (keyword == "passphrase") {
      if (!arguments(tokens, 1)) return false;
      const std::string& phrase = tokens[1];
      if (!air::IsPskPassphrase(phrase)) return fail("passphrase must be 8 to 63 printable ASCII characters");
      config.passphrase = Secret(phrase);
    } else if (keyword == "radius-server") {
      if (!arguments(tokens, 1)) return false;
      in_addr parsed{};
      if (inet_pton(AF_INET, tokens[1].c_str(), &parsed) != 1) return fail("radius-server must be an IPv4 address");
      config.radius.address = tokens[1];
    } else if (keyword == "radius-port") {
      if (!arguments(tokens, 1)) return false;
      const auto port = number(tokens[1], 1, 65535, "radius-port");
      if (!port) return false;
      config.radius.port = static_cast<std::uint16_t>(*port);
    } else if (keyword == "radius-secret") {
      if (!arguments(tokens, 1)) return false;
      if (tokens[1].empty() || tokens[1].size() > 128) return fail("radius-secret must have 1 to 128 characters");
      config.radius.secret = Secret(tokens[1]);
    } else if (keyword == "wep-key") {
      return wepKey(tokens, config);
    } else if (keyword == "wep-tx-key") {
      if (!arguments(tokens, 1)) return false;
      const auto index = number(tokens[1], 1, 4, "wep-tx-key");
      if (!index) return false;
      config.wepKeyIndex = static_cast<std::uint8_t>(*index - 1);
    } else if (keyword == "vendor") {
      if (!arguments(tokens, 1)) return false;
      if (config.vendorElements.size() == WorldLimits::kMaxVendorElements)
        return fail("more than " + std::to_string(WorldLimits::kMaxVendorElements) + " vendor elements");
      auto body = hexBytes(tokens[1], "vendor");
      if (!body) return false;
      if (body->size() < 3 || body->size() > 255) return fail("vendor element has 3 to 255 bytes (OUI first)");
      config.vendorElements.push_back(std::move(*body));
    } else if (keyword == "ccx") {
      if (tokens.size() < 2 || tokens.size() > 4) return fail("'ccx' takes a version, then kp and cmic (CKIP flags)");
      const auto version = number(tokens[1], 1, 255, "ccx (version)");
      if (!version) return false;
      CcxBeaconOptions options;
      options.ccxVersion = static_cast<std::uint8_t>(*version);
      for (std::size_t i = 2; i < tokens.size(); ++i) {
        const std::uint8_t flag = tokens[i] == "kp" ? kCkipKeyPermutation : tokens[i] == "cmic" ? kCkipCmic : 0;
        if (flag == 0) return fail("ccx CKIP flags are kp and cmic");
        if ((options.ckipFlags & flag) != 0) return fail("ccx CKIP flag " + tokens[i] + " given twice");
        options.ckipFlags |= flag;
      }
      config.ckipFlags = options.ckipFlags;
      ap.ccx = true;
      config.vendorElements.push_back(CcxPresenceBody());
      for (auto& element : CcxBeaconElements(options)) config.extraElements.push_back(std::move(element));
    } else if (keyword == "cckm") {
      if (!arguments(tokens, 0)) return false;
      config.cckm = true;
    } else if (keyword == "bad-michael") {
      if (!arguments(tokens, 0)) return false;
      config.badMichael = true;
    } else if (keyword == "group-rekey" || keyword == "pairwise-rekey") {
      if (!arguments(tokens, 1)) return false;
      const auto interval = rekeyInterval(tokens[1], keyword);
      if (!interval) return false;
      (keyword == "group-rekey" ? config.groupRekeyInterval : config.pairwiseRekeyInterval) = ndis::Micros(*interval);
    } else if (keyword == "ccx-ap-power") {
      if (!arguments(tokens, 1)) return false;
      const auto power = number(tokens[1], 0, 30, "ccx-ap-power (dBm)");
      if (!power) return false;
      config.extraElements.push_back(CcxApPowerElement(static_cast<std::uint8_t>(*power)));
    } else if (keyword == "signal") {
      if (!arguments(tokens, 1)) return false;
      const auto signal = number(tokens[1], -120, 0, "signal (dBm)");
      if (!signal) return false;
      ap.signalDbm = static_cast<int>(*signal);
    } else if (keyword == "power") {
      if (!arguments(tokens, 1)) return false;
      const auto power = number(tokens[1], -10, 30, "power (dBm)");
      if (!power) return false;
      config.transmitPowerDbm = static_cast<int>(*power);
    } else if (keyword == "auth") {
      if (!arguments(tokens, 1)) return false;
      if (tokens[1] != "shared" && tokens[1] != "shared-only") return fail("auth must be shared or shared-only");
      config.join.sharedKey = true;
      config.join.sharedKeyOnly = tokens[1] == "shared-only";
    } else if (keyword == "auth-status" || keyword == "assoc-status") {
      if (!arguments(tokens, 1)) return false;
      const auto status = number(tokens[1], 0, 65535, keyword.c_str());
      if (!status) return false;
      (keyword == "auth-status" ? config.join.authenticationStatus : config.join.associationStatus) =
          static_cast<std::uint16_t>(*status);
    } else if (keyword == "swiftbond") {
      if (!arguments(tokens, 0)) return false;
      ap.swiftBond = true;
    } else if (keyword == "vendor-mode") {
      if (!arguments(tokens, 1)) return false;
      const auto mode = number(tokens[1], 0, 255, "vendor-mode");
      if (!mode) return false;
      ap.vendorMode = static_cast<std::uint8_t>(*mode);
    } else if (keyword == "silent-auth" || keyword == "silent-assoc") {
      if (!arguments(tokens, 0)) return false;
      (keyword == "silent-auth" ? config.join.silentAuthentication : config.join.silentAssociation) = true;
    } else {
      return fail("unknown keyword '" + keyword + "'");
    }
    return true;
  }

  // A rekey interval: a time like those of 'at' lines, from a second (a shorter one would
  // leave a station little but handshakes) to a day.
  std::optional<std::int64_t> rekeyInterval(const std::string& token, const std::string& keyword) {
    const auto micros = time(token);
    if (micros && *micros >= 1'000'000) return micros;
    fail(keyword + " must be a time like 30s, 2.5s or 1500ms, from 1s to one day");  // in time()'s place
    return std::nullopt;
  }

  // ccx-measure channel-load|noise-histogram CHANNEL TU, or beacon CHANNEL TU passive|active|table.
  bool ccxMeasure(const Tokens& tokens, WorldAccessPoint& ap) {
    static const char* const kUsage =
        "ccx-measure takes channel-load or noise-histogram, a channel and a duration (TU), or beacon, a channel, "
        "a duration and passive, active or table";
    if (tokens.size() < 4) return fail(kUsage);
    CcxMeasurementAsk ask;
    const std::string& kind = tokens[1];
    ask.type = kind == "channel-load" ? kCcxChannelLoad : kind == "noise-histogram" ? kCcxNoiseHistogram
             : kind == "beacon"       ? kCcxBeacon      : 0;
    if (ask.type == 0 || tokens.size() != (ask.type == kCcxBeacon ? 5u : 4u)) return fail(kUsage);
    const auto channel = number(tokens[2], 1, 14, "ccx-measure channel");
    if (!channel) return false;
    const auto duration = number(tokens[3], 1, 65535, "ccx-measure duration (TU)");
    if (!duration) return false;
    if (ask.type == kCcxBeacon) {
      static const char* const kScanModes[] = {"passive", "active", "table"};
      const auto mode = std::find(std::begin(kScanModes), std::end(kScanModes), tokens[4]);
      if (mode == std::end(kScanModes)) return fail("a beacon measurement's scan mode is passive, active or table");
      ask.scanMode = static_cast<std::uint8_t>(mode - std::begin(kScanModes));
    }
    if (ap.ccxMeasurements.size() == WorldLimits::kMaxCcxMeasurements)
      return fail("more than " + std::to_string(WorldLimits::kMaxCcxMeasurements) + " ccx-measure lines");
    ask.channel = static_cast<std::uint8_t>(*channel);
    ask.durationTu = static_cast<std::uint16_t>(*duration);
    ask.token = static_cast<std::uint16_t>(ap.ccxMeasurements.size() + 1);
    ap.ccxMeasurements.push_back(ask);
    return true;
  }

  bool rates(const Tokens& tokens, AccessPointConfig& config) {
    if (tokens.size() < 2 || tokens.size() > 13) return fail("rates takes 1 to 12 rates");
    std::vector<std::uint8_t> rates;
    for (std::size_t i = 1; i < tokens.size(); ++i) {
      std::string_view text = tokens[i];
      const bool basic = text.ends_with("b");
      if (basic) text.remove_suffix(1);
      const auto found = std::find_if(std::begin(kRates), std::end(kRates), [&](const RateName& r) { return r.text == text; });
      if (found == std::end(kRates)) return fail("rate '" + tokens[i] + "' is not one of 1 2 5.5 11 6 9 12 18 24 36 48 54 (b: basic)");
      if (std::any_of(rates.begin(), rates.end(), [&](std::uint8_t r) { return (r & 0x7F) == found->halfMbps; }))
        return fail("rate '" + tokens[i] + "' given twice");
      rates.push_back(static_cast<std::uint8_t>(found->halfMbps | (basic ? 0x80 : 0)));
    }
    if (std::none_of(rates.begin(), rates.end(), [](std::uint8_t r) { return (r & 0x80) != 0; }))
      return fail("rates need at least one basic rate (like 1b)");
    config.rates = std::move(rates);
    return true;
  }

  bool wepKey(const Tokens& tokens, AccessPointConfig& config) {
    if (!arguments(tokens, 2)) return false;
    const auto index = number(tokens[1], 1, 4, "wep-key index");
    if (!index) return false;
    auto key = hexBytes(tokens[2], "wep-key");
    if (!key) return false;
    const bool goodLength = key->size() == 5 || key->size() == 13;
    const Secret secret(std::string_view(reinterpret_cast<const char*>(key->data()), key->size()));
    OPENSSL_cleanse(key->data(), key->size());
    if (!goodLength) return fail("wep-key must be 10 or 26 hex digits");
    if (config.wepKeys.size() < static_cast<std::size_t>(*index)) config.wepKeys.resize(static_cast<std::size_t>(*index));
    if (!config.wepKeys[static_cast<std::size_t>(*index - 1)].empty()) return fail("wep-key " + tokens[1] + " given twice");
    config.wepKeys[static_cast<std::size_t>(*index - 1)] = secret;
    return true;
  }

  bool change(const Tokens& tokens) {
    if (!finishAccessPoint()) return false;
    if (tokens.size() < 4) return fail("at takes a time, an access point and a change: signal DBM, off, on, deauth or disassoc");
    if (world_.changes.size() == WorldLimits::kMaxChanges)
      return fail("more than " + std::to_string(WorldLimits::kMaxChanges) + " changes");
    const auto when = time(tokens[1]);
    if (!when) return false;
    const auto index = findAccessPoint(tokens[2]);
    if (!index) return fail("no access point '" + tokens[2] + "' defined before this line");
    WorldChange change;
    change.atMicros = *when;
    change.accessPoint = *index;
    const std::string& what = tokens[3];
    if (what == "signal" && tokens.size() == 5) {
      const auto signal = number(tokens[4], -120, 0, "signal (dBm)");
      if (!signal) return false;
      change.kind = WorldChange::Kind::Signal;
      change.signalDbm = static_cast<int>(*signal);
    } else if ((what == "off" || what == "on") && tokens.size() == 4) {
      change.kind = what == "off" ? WorldChange::Kind::Off : WorldChange::Kind::On;
    } else if ((what == "deauth" || what == "disassoc") && tokens.size() == 4) {
      change.kind = what == "deauth" ? WorldChange::Kind::Deauthenticate : WorldChange::Kind::Disassociate;
    } else {
      return fail("a change is 'signal DBM', 'off', 'on', 'deauth' or 'disassoc'");
    }
    world_.changes.push_back(change);
    return true;
  }

  // Checks the access point the last block described, as a whole; errors name its 'ap' line.
  bool finishAccessPoint() {
    if (!current_) return true;
    current_ = false;
    const WorldAccessPoint& ap = world_.accessPoints.back();
    const AccessPointConfig& config = ap.config;
    const auto failAt = [&](const std::string& message) {
      error_ = "line " + std::to_string(ap.line) + ": access point '" + ap.name + "': " + message;
      return false;
    };
    if (!given_.contains("bssid")) return failAt("no bssid");
    if (!given_.contains("ssid")) return failAt("no ssid");
    const bool wpa = config.security == Security::Wpa || config.security == Security::Wpa2 ||
                     config.security == Security::WpaWpa2;
    if (wpa && config.passphrase.empty())
      return failAt("security " + std::string(SecurityName(config.security)) + " needs a passphrase");
    if (!wpa && !config.passphrase.empty()) return failAt("a passphrase needs security wpa-psk, wpa2-psk or wpa-wpa2-psk");
    const bool enterprise = IsEnterprise(config.security);
    if (enterprise && config.radius.secret.empty())
      return failAt("security " + std::string(SecurityName(config.security)) + " needs a radius-secret");
    if (!enterprise && (given_.contains("radius-server") || given_.contains("radius-port") || given_.contains("radius-secret")))
      return failAt("radius-server, radius-port and radius-secret need security wpa2-enterprise or wpa-enterprise");
    if (config.cckm && config.security != Security::WpaEnterprise) return failAt("cckm needs security wpa-enterprise");
    const bool tkip = config.security == Security::Wpa || config.security == Security::WpaWpa2 ||
                      config.security == Security::WpaEnterprise;
    if (config.badMichael && !tkip) return failAt("bad-michael needs security wpa-psk, wpa-wpa2-psk or wpa-enterprise");
    const bool rekeys = given_.contains("group-rekey") || given_.contains("pairwise-rekey");
    if (rekeys && !wpa && !enterprise) return failAt("group-rekey and pairwise-rekey need a WPA or WPA2 security");
    if (rekeys && config.independent) return failAt("an IBSS peer has no key exchange to rekey");
    if (!ap.ccx && !ap.ccxMeasurements.empty()) return failAt("ccx-measure needs ccx");
    const bool wep = config.security == Security::Wep;
    if (!wep && (!config.wepKeys.empty() || given_.contains("wep-tx-key"))) return failAt("WEP keys need security wep");
    if (wep && (config.wepKeys.size() <= config.wepKeyIndex || config.wepKeys[config.wepKeyIndex].empty()))
      return failAt("security wep needs the key of wep-tx-key (default 1)");
    if (!wep && config.ckipFlags != 0) return failAt("CKIP (ccx kp, cmic) needs security wep");
    if (config.independent && (ap.swiftBond || ap.vendorMode)) return failAt("an IBSS peer has no swiftbond or vendor-mode");
    return !ap.swiftBond || offerAutoLink(world_.accessPoints.back(), failAt);
  }

  // 'swiftbond': an open access point is not yet configured (and bonds), a WPA-PSK one is
  // configured by Auto Link; its Auto Link element says which.
  template <class Fail>
  bool offerAutoLink(WorldAccessPoint& ap, const Fail& failAt) {
    AccessPointConfig& config = ap.config;
    if (config.security != Security::Open && config.security != Security::Wpa)
      return failAt("swiftbond needs security open (not yet configured) or wpa-psk (configured by Auto Link)");
    const dot11::Bytes element =
        AutoLinkElementBody(config.security == Security::Open ? kAutoLinkNotConfigured : kAutoLinkConfigured);
    for (const dot11::Bytes& body : config.vendorElements)
      if (body.size() >= 5 && std::equal(element.begin(), element.begin() + 5, body.begin()))
        return failAt("swiftbond announces its own Auto Link element: no vendor line for it");
    config.vendorElements.push_back(element);
    return true;
  }

  World world_;
  std::string error_;
  int line_ = 0;
  bool current_ = false;          // an 'ap' block is open
  std::set<std::string> given_;   // properties of the open block
};

}  // namespace

std::optional<World> ParseWorld(std::string_view text, std::string& error) {
  if (text.size() > WorldLimits::kMaxFileBytes) {
    error = "world larger than " + std::to_string(WorldLimits::kMaxFileBytes) + " bytes";
    return std::nullopt;
  }
  return WorldParser().parse(text, error);
}

std::optional<World> LoadWorldFile(const std::string& path, std::string& error) {
  std::error_code ignored;
  if (std::filesystem::exists(path, ignored) && !std::filesystem::is_regular_file(path, ignored)) {
    error = "cannot read " + path + ": not a regular file";
    return std::nullopt;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  std::string text;
  // One byte beyond the limit is enough to know it is too large.
  text.resize(WorldLimits::kMaxFileBytes + 1);
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (file.bad()) {
    error = "cannot read " + path;
    return std::nullopt;
  }
  text.resize(static_cast<std::size_t>(file.gcount()));
  auto world = ParseWorld(text, error);
  OPENSSL_cleanse(text.data(), text.size());  // the file may hold pass phrases
  if (!world && error.starts_with("line ")) error = path + ":" + error.substr(5);
  else if (!world) error = path + ": " + error;
  return world;
}

}  // namespace simair
