#pragma once
// tshark as the independent reader of recorded air in tests: the decoded fields of each
// frame of a pcap, one row per frame, separated by '|'. The first field is always
// _ws.malformed, which is empty unless tshark found the frame malformed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace simair::testing {

// A capture's path in the test's temporary directory, named per process: the same test run
// at once by two builds (or two checkouts) must not write one file.
inline std::string TempPcapPath(const std::string& name) {
  return ::testing::TempDir() + "/" + name + "_" + std::to_string(getpid()) + ".pcap";
}

// `options` go to tshark as they are (say, -o settings of the 802.11 decryption).
inline std::vector<std::string> Dissect(const std::string& pcap, const std::string& filter,
                                        const std::vector<std::string>& fields, const std::string& options = "") {
  std::string command = "tshark -n " + options + " -r '" + pcap + "'";
  if (!filter.empty()) command += " -Y '" + filter + "'";
  command += " -T fields -E separator='|' -e _ws.malformed";
  for (const std::string& field : fields) command += " -e " + field;
  command += " 2>&1";
  std::vector<std::string> rows;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return rows;
  char line[8192];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    std::string row(line);
    while (!row.empty() && (row.back() == '\n' || row.back() == '\r')) row.pop_back();
    if (row.rfind("Running as user", 0) == 0) continue;  // tshark's note when run as root
    rows.push_back(row);
  }
  pclose(pipe);
  return rows;
}

// The fields of one row.
inline std::vector<std::string> SplitRow(const std::string& row) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t bar = row.find('|', start);
    parts.push_back(row.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) return parts;
    start = bar + 1;
  }
}

}  // namespace simair::testing
