// FreeRADIUS 3 as the authentication server behind hostapd: a copy of the system's
// configuration in the test's scratch directory with the test's certificates and users,
// started in the foreground (-X) inside the namespace, listening on the loopback.
#pragma once

#include <string>
#include <vector>

#include "tests/peers/child_process.h"
#include "tests/peers/network_namespace.h"
#include "tests/peers/scratch_dir.h"

namespace peers {

struct FreeRadiusOptions {
  // Lines of its users file, e.g. "alice Cleartext-Password := \"secret\"".
  std::vector<std::string> users;
  std::string caPem;
  std::string serverCertificatePem;
  std::string serverKeyPem;
};

class FreeRadiusPeer {
 public:
  static constexpr char kSecret[] = "testing123";

  // Throws, with its log, when it does not come up.
  // `clientSecret` is the secret of the RADIUS clients on the loopback.
  FreeRadiusPeer(NetworkNamespace& space, const ScratchDir& dir, const FreeRadiusOptions& options,
                 const std::string& clientSecret = kSecret);

  // hostapd.conf lines that make hostapd relay to this server instead of its own EAP server.
  static std::vector<std::string> HostapdConfig();
  std::string Log() const { return ReadTextFile(logPath_); }
  // The end of the log on standard output: what a failed test shows of the server.
  void PrintLogEnd() const;

 private:
  std::string logPath_;
  ChildProcess process_;
};

}  // namespace peers
