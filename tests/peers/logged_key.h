// The bytes of a key hostapd logs with -K under a label ("EAP-TTLS: Derived key",
// "Individual WEP key"), the last one logged; empty when none was.
#pragma once

#include <cstdint>
#include <regex>
#include <string>
#include <vector>

namespace peers {

inline std::vector<std::uint8_t> LoggedKey(const std::string& log, const std::string& label) {
  const std::regex line(label + R"( - hexdump\(len=\d+\):((?: [0-9a-f]{2})+))");
  std::vector<std::uint8_t> key;
  for (auto it = std::sregex_iterator(log.begin(), log.end(), line); it != std::sregex_iterator(); ++it) {
    const std::string hex = (*it)[1];
    key.clear();
    for (std::size_t i = 1; i + 1 < hex.size(); i += 3)
      key.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return key;
}

}  // namespace peers
