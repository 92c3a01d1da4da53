// hostapd as an 802.1X authenticator with its own EAP server (driver=wired) on one end of a
// veth pair: the real peer our EAP methods authenticate against.
#pragma once

#include <string>
#include <vector>

#include "tests/peers/child_process.h"
#include "tests/peers/mac_address.h"
#include "tests/peers/network_namespace.h"
#include "tests/peers/scratch_dir.h"

namespace peers {

struct HostapdOptions {
  // Lines of the eap_user file, e.g. "\"alice\" MD5 \"secret\"" (hostapd.eap_user(5) form).
  std::vector<std::string> eapUsers{};
  // Further hostapd.conf lines: server certificate and key for the TLS methods, a RADIUS
  // server to use instead of the integrated one, ...
  std::vector<std::string> extraConfig{};
  // Key material in the debug log too (hostapd -K), to compare the keys both sides derive.
  bool logKeys = false;
  // hostapd's OpenSSL at security level 0 from its start: it loads its certificate, key and
  // DH parameters at the system's level, before its configured ciphers apply, so weak ones
  // (small keys, MD5 or SHA-1 signatures) need this to be served at all.
  bool securityLevelZero = false;
};

class HostapdPeer {
 public:
  // Writes hostapd.conf and eap_user into `dir`, starts hostapd on `interface` inside
  // `space` and waits until it serves the port. Throws, with hostapd's log, when it does
  // not come up.
  HostapdPeer(NetworkNamespace& space, const std::string& interface, const ScratchDir& dir,
              const HostapdOptions& options);

  // Forgets a station, so that a new conversation from its MAC is served at once (hostapd
  // ignores a station for 60 s after an EAP-Failure). Throws when hostapd refuses.
  void Deauthenticate(const MacAddress& station);
  // hostapd_cli with the given arguments on this hostapd's control socket; its output.
  std::string Cli(const std::vector<std::string>& arguments);
  // One command of hostapd's control interface that hostapd_cli does not offer (e.g.
  // "EAPOL_REAUTH <station>"), sent on the control socket; hostapd's answer, or "" when none
  // came within 5 s.
  std::string Request(const std::string& command);
  // hostapd's debug log so far.
  std::string Log() const { return ReadTextFile(logPath_); }
  ChildProcess& process() { return process_; }

 private:
  std::string interface_;
  std::string controlDir_;
  std::string clientSocket_;
  std::string logPath_;
  ChildProcess process_;
};

}  // namespace peers
