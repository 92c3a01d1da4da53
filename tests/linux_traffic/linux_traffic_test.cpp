// Linux traffic through the driver (root only; CI runs it as root, and without root it fails
// saying so): ping and a TCP transfer from the adapter's TAP to a TAP behind the access
// point of the demo world's open network, each frame crossing the driver's encapsulation,
// the simulated air and the access point's distribution port. The pcap of the air shows
// the exchange as 802.11 data frames. On the WPA2-Personal network, joined through the
// adapter-control library with libpentrel.so, the same traffic crosses the driver's CCMP and
// the access point's independent one.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "hosts/zelnicd/station/library_station.h"
#include "tests/linux_traffic/tap_paths.h"

namespace linux_traffic {
namespace {

std::size_t CountLines(const std::string& text, const std::string& line) {
  std::size_t count = 0;
  for (std::size_t at = 0; (at = text.find(line + "\n", at)) != std::string::npos; at += line.size()) {
    if (at == 0 || text[at - 1] == '\n') ++count;
  }
  return count;
}

// Three echoes and a 1 MiB TCP transfer, then zelnicd stops (the capture is complete).
void PingAndTransfer(DriverTapPath& path) {
  std::string ping;
  EXPECT_EQ(peers::RunProgram({"ping", "-c", "3", "-i", "0.2", "-W", "5", kWiredAddress}, &ping, path.station().fd()), 0)
      << ping << "\n" << path.Log();
  const Transfer transfer = TcpTransfer(path, 1 << 20);
  EXPECT_EQ(transfer.bytesReceived, 1u << 20);
  EXPECT_TRUE(transfer.intact);
  EXPECT_EQ(path.Stop(), 0) << path.Log();
}

TEST(LinuxTraffic, PingAndTcpCrossTheDriverAndTheAccessPoint) {
  DriverTapPath path(ZELNICD_PROGRAM, std::string(WORLDS_DIR) + "/demo.world", "Zelnet Guest", "guest");
  PingAndTransfer(path);

  // On the air: the echo requests from the station and the replies to it, and TCP data.
  std::string icmp;
  ASSERT_EQ(peers::RunProgram({"tshark", "-r", path.PcapPath(), "-Y", "wlan.fc.type == 2 && icmp",
                               "-T", "fields", "-e", "icmp.type"},
                              &icmp),
            0)
      << icmp;
  EXPECT_GE(CountLines(icmp, "8"), 3u) << icmp;
  EXPECT_GE(CountLines(icmp, "0"), 3u) << icmp;
  std::string tcp;
  ASSERT_EQ(peers::RunProgram({"tshark", "-r", path.PcapPath(), "-Y",
                               "wlan.fc.type == 2 && wlan.fc.ds == 1 && tcp.len > 0", "-T", "fields",
                               "-e", "tcp.len"},
                              &tcp),
            0);
  std::istringstream lines(tcp);
  std::size_t payload = 0;
  for (std::string line; std::getline(lines, line);) {  // tshark's own remarks are not numbers
    if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) payload += std::stoul(line);
  }
  EXPECT_GE(payload, 1u << 20) << tcp.substr(0, 400);  // retransmissions may add to it
}

TEST(LinuxTraffic, PingAndTcpCrossTheDriversAndTheAccessPointsCcmp) {
  DriverTapPath path(ZELNICD_PROGRAM, std::string(WORLDS_DIR) + "/demo.world", "", "office");
  zelnicd::testing::LibraryStation station(path.DevicePath(), path.RegistryRoot(), PENTREL_LIBRARY);
  std::string error;
  ASSERT_TRUE(station.Join("Zelnet Office", "correct horse battery staple", error)) << error << "\n" << path.Log();
  PingAndTransfer(path);

  // On the air every echo is protected; tshark reads them only with the pass phrase.
  const auto echoes = [&](const std::string& keys) {
    std::string out;
    peers::RunProgram({"tshark", "-r", path.PcapPath(), "-o", "wlan.enable_decryption:TRUE", "-o", keys, "-Y",
                       "wlan.fc.type == 2 && wlan.fc.protected == 1 && icmp", "-T", "fields", "-e", "icmp.type"},
                      &out);
    return out;
  };
  const std::string decrypted = echoes("uat:80211_keys:\"wpa-pwd\",\"correct horse battery staple:Zelnet Office\"");
  EXPECT_GE(CountLines(decrypted, "8"), 3u) << decrypted;
  EXPECT_GE(CountLines(decrypted, "0"), 3u) << decrypted;
  EXPECT_EQ(CountLines(echoes("uat:80211_keys:\"wpa-pwd\",\"not the pass phrase:Zelnet Office\""), "8"), 0u);
}

}  // namespace
}  // namespace linux_traffic
