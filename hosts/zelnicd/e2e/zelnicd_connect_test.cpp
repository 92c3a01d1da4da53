// zelnicd --world FILE --connect SSID: the daemon joins the demo world's open network in real
// time, says so with BSSID, channel and rate, and the pcap shows the whole exchange.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::string RunCommand(const std::string& command) {
  std::string output;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return output;
  char line[4096];
  while (std::fgets(line, sizeof line, pipe) != nullptr) output += line;
  pclose(pipe);
  return output;
}

// The SSID from --connect, or from the world file's 'connect' line.
class ZelnicdConnect : public ::testing::TestWithParam<bool> {};

TEST_P(ZelnicdConnect, JoinsTheOpenNetworkOfTheDemoWorldAndThePcapShowsTheExchange) {
  const bool fromWorld = GetParam();
  const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) /
                                    ("zelnicd_connect_" + std::to_string(::getpid()) + (fromWorld ? "_w" : "_o"));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "run");
  const std::string pcap = (dir / "air.pcap").string();
  std::string world = std::string(ZELNICD_WORLDS_DIR) + "/office.world";
  std::string connect = " --connect 'Zelnet Guest'";
  if (fromWorld) {
    const std::filesystem::path joining = dir / "joining.world";
    std::filesystem::copy_file(world, joining);
    FILE* file = std::fopen(joining.c_str(), "a");
    ASSERT_NE(file, nullptr);
    std::fputs("\nconnect \"Zelnet Guest\"\n", file);
    std::fclose(file);
    world = joining.string();
    connect.clear();
  }
  const std::string output = RunCommand("ZELNIC_RUN_DIR='" + (dir / "run").string() + "' ZELCON_REGISTRY_ROOT='" +
                                        (dir / "registry").string() + "' '" ZELNICD_PROGRAM "' --once --world '" + world +
                                        "' --pcap '" + pcap + "'" + connect);
  EXPECT_EQ(output.find("packet filter not set"), std::string::npos) << output;
  EXPECT_NE(output.find("zelnicd: media connect: \"Zelnet Guest\" BSSID 02:5a:4c:00:00:01 channel 1 rate 54 Mbit/s"),
            std::string::npos)
      << output;
  EXPECT_NE(output.find("zelnicd: adapter halted"), std::string::npos) << output;

  // One tshark call: the management frames between the station and the lobby access point.
  const std::string rows = RunCommand("tshark -n -r '" + pcap +
                               "' -Y 'wlan.fc.type == 0 && wlan.fc.type_subtype != 8 && wlan.fc.type_subtype != 4 && "
                               "(wlan.sa == 02:5a:4c:00:00:01 || wlan.da == 02:5a:4c:00:00:01)' "
                               "-T fields -e _ws.malformed -e wlan.fc.type_subtype -e wlan.fixed.status_code");
  std::string subtypes;
  for (std::size_t at = 0; at < rows.size();) {
    const std::size_t end = rows.find('\n', at);
    const std::string row = rows.substr(at, end - at);
    at = end == std::string::npos ? rows.size() : end + 1;
    if (row.empty() || row.rfind("Running as user", 0) == 0) continue;  // tshark's note when run as root
    EXPECT_EQ(row[0], '\t') << "malformed: " << row;
    const std::string subtype = row.substr(1, row.find('\t', 1) - 1);
    if (subtype != "0x0005") subtypes += subtype + " ";  // probe responses come at any time
  }
  // Authentication both ways, association request and response, the deauthentication at halt.
  EXPECT_EQ(subtypes, "0x000b 0x000b 0x0000 0x0001 0x000c ");
  std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Both, ZelnicdConnect, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "WorldFile" : "Option"; });

}  // namespace
