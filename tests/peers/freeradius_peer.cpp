#include "tests/peers/freeradius_peer.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace peers {
namespace {

constexpr char kSystemConfig[] = "/etc/freeradius/3.0";

void Replace(std::string& text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  if (at == std::string::npos) throw std::runtime_error("freeradius config lacks: " + from);
  text.replace(at, from.size(), to);
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

FreeRadiusPeer::FreeRadiusPeer(NetworkNamespace& space, const ScratchDir& dir,
                               const FreeRadiusOptions& options, const std::string& clientSecret)
    : logPath_(dir.File("freeradius.log")) {
  const std::string raddb = dir.File("raddb");
  if (RunProgram({"cp", "-a", kSystemConfig, raddb}) != 0) {
    throw std::runtime_error("cannot copy " + std::string(kSystemConfig));
  }
  const std::string ca = dir.Write("radius-ca.pem", options.caPem);
  const std::string certificate = dir.Write("radius-server.pem", options.serverCertificatePem);
  const std::string key = dir.Write("radius-server.key", options.serverKeyPem);

  // Run as the test's user, with the test's certificates and users.
  std::string radiusd = ReadTextFile(raddb + "/radiusd.conf");
  Replace(radiusd, "\tuser = freerad", "#\tuser = freerad");
  Replace(radiusd, "\tgroup = freerad", "#\tgroup = freerad");
  WriteFile(raddb + "/radiusd.conf", radiusd);
  std::string eap = ReadTextFile(raddb + "/mods-available/eap");
  Replace(eap, "private_key_file = /etc/ssl/private/ssl-cert-snakeoil.key",
          "private_key_file = " + key);
  Replace(eap, "certificate_file = /etc/ssl/certs/ssl-cert-snakeoil.pem",
          "certificate_file = " + certificate);
  Replace(eap, "ca_file = /etc/ssl/certs/ca-certificates.crt", "ca_file = " + ca);
  WriteFile(raddb + "/mods-available/eap", eap);
  if (clientSecret != kSecret) {
    std::string clients = ReadTextFile(raddb + "/clients.conf");
    Replace(clients, std::string("\tsecret = ") + kSecret, "\tsecret = " + clientSecret);
    WriteFile(raddb + "/clients.conf", clients);
  }
  std::string users;
  for (const std::string& line : options.users) users += line + "\n";
  WriteFile(raddb + "/mods-config/files/authorize", users);

  const int log = open(logPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (log < 0) throw std::runtime_error("cannot create " + logPath_);
  try {
    process_ = space.Start({"freeradius", "-X", "-d", raddb}, log);
  } catch (...) {
    close(log);
    throw;
  }
  close(log);
  // Start-up is not a protocol timer: poll until it says it is ready.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (Log().find("Ready to process requests") == std::string::npos) {
    if (!process_.Running()) throw std::runtime_error("freeradius exited at start:\n" + Log());
    if (std::chrono::steady_clock::now() > deadline) {
      throw std::runtime_error("freeradius did not come up within 20 s:\n" + Log());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::vector<std::string> FreeRadiusPeer::HostapdConfig() {
  return {"eap_server=0", "own_ip_addr=127.0.0.1", "auth_server_addr=127.0.0.1",
          "auth_server_port=1812", std::string("auth_server_shared_secret=") + kSecret};
}

void FreeRadiusPeer::PrintLogEnd() const {
  const std::string log = Log();
  const std::size_t keep = 8000;
  std::printf("---- freeradius log (end) ----\n%s\n", log.size() > keep ? log.substr(log.size() - keep).c_str() : log.c_str());
}

}  // namespace peers
