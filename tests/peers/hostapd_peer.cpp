#include "tests/peers/hostapd_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace peers {

HostapdPeer::HostapdPeer(NetworkNamespace& space, const std::string& interface,
                         const ScratchDir& dir, const HostapdOptions& options)
    : interface_(interface),
      controlDir_(dir.File("hostapd-ctrl")),
      clientSocket_(dir.File("hostapd-client")),
      logPath_(dir.File("hostapd.log")) {
  std::string users;
  for (const auto& line : options.eapUsers) users += line + "\n";
  const std::string usersPath = dir.Write("eap_user", users);

  std::string config = "interface=" + interface +
                       "\n"
                       "driver=wired\n"
                       "ieee8021x=1\n"
                       "eapol_version=2\n"
                       "eap_server=1\n"
                       "use_pae_group_addr=1\n"
                       "eap_user_file=" +
                       usersPath +
                       "\n"
                       "ctrl_interface=" +
                       controlDir_ +
                       "\n"
                       "logger_stdout=-1\n"
                       "logger_stdout_level=0\n";
  for (const auto& line : options.extraConfig) config += line + "\n";
  const std::string configPath = dir.Write("hostapd.conf", config);

  const int log = open(logPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (log < 0) throw std::runtime_error("cannot create " + logPath_);
  try {
    std::vector<std::string> command = {"hostapd", "-dd", "-t"};
    if (options.securityLevelZero) {
      const std::string systemConfig = dir.Write(
          "openssl.cnf",
          "openssl_conf = conf\n[conf]\nssl_conf = ssl\n[ssl]\nsystem_default = sys\n"
          "[sys]\nCipherString = DEFAULT@SECLEVEL=0\n");
      command.insert(command.begin(), {"env", "OPENSSL_CONF=" + systemConfig});
    }
    if (options.logKeys) command.push_back("-K");
    command.push_back(configPath);
    process_ = space.Start(command, log);
  } catch (...) {
    close(log);
    throw;
  }
  close(log);

  // Start-up is not a protocol timer: poll until the port is enabled.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (Cli({"status"}).find("state=ENABLED") == std::string::npos) {
    if (!process_.Running()) throw std::runtime_error("hostapd exited at start:\n" + Log());
    if (std::chrono::steady_clock::now() > deadline) {
      throw std::runtime_error("hostapd did not come up within 10 s:\n" + Log());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string HostapdPeer::Cli(const std::vector<std::string>& arguments) {
  std::vector<std::string> argv = {"hostapd_cli", "-p", controlDir_, "-i", interface_};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::string output;
  RunProgram(argv, &output);
  return output;
}

std::string HostapdPeer::Request(const std::string& command) {
  // A socket bound to a path: hostapd answers to the sender's address, and a path reaches
  // across the network namespace where an abstract address would not.
  const auto addressOf = [](const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) throw std::runtime_error("socket path too long: " + path);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
  };
  const sockaddr_un client = addressOf(clientSocket_);
  const sockaddr_un server = addressOf(controlDir_ + "/" + interface_);
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("no control socket");
  unlink(clientSocket_.c_str());
  std::string answer;
  if (bind(fd, reinterpret_cast<const sockaddr*>(&client), sizeof client) == 0 &&
      sendto(fd, command.data(), command.size(), 0, reinterpret_cast<const sockaddr*>(&server),
             sizeof server) == static_cast<ssize_t>(command.size())) {
    pollfd ready{fd, POLLIN, 0};
    char buffer[4096];
    if (poll(&ready, 1, 5000) == 1) {
      const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
      if (got > 0) answer.assign(buffer, static_cast<std::size_t>(got));
    }
  }
  close(fd);
  unlink(clientSocket_.c_str());
  return answer;
}

void HostapdPeer::Deauthenticate(const MacAddress& station) {
  const std::string answer = Cli({"deauthenticate", ToString(station)});
  if (answer.find("OK") == std::string::npos) {
    throw std::runtime_error("hostapd_cli deauthenticate " + ToString(station) + ": " + answer);
  }
}

}  // namespace peers
