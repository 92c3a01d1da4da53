// Our pass-phrase PSK against Debian's wpa_passphrase (package wpasupplicant).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "ksSupp/keys/key_derivation.h"
#include "ksSupp/keys/key_test_support.h"

namespace {

// Runs wpa_passphrase SSID PASSPHRASE (no shell in between) and returns its psk= value.
std::string PeerPsk(const std::string& ssid, const std::string& passphrase) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return "pipe failed";
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);
    close(pipeFds[0]);
    close(pipeFds[1]);
    execlp("wpa_passphrase", "wpa_passphrase", ssid.c_str(), passphrase.c_str(), nullptr);
    _exit(127);
  }
  close(pipeFds[1]);
  std::string output;
  char buffer[512];
  for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
    output.append(buffer, static_cast<size_t>(n));
  close(pipeFds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "wpa_passphrase failed: " + output;
  const std::string marker = "\tpsk=";
  const size_t at = output.find(marker);
  return at == std::string::npos ? output : output.substr(at + marker.size(), 64);
}

Bytes OurPsk(const std::string& ssid, const std::string& passphrase) {
  Bytes psk(kPskLength);
  PassphraseToPsk(passphrase.data(), static_cast<uint32_t>(passphrase.size()),
                  reinterpret_cast<const uint8_t*>(ssid.data()), static_cast<uint32_t>(ssid.size()), psk.data());
  return psk;
}

TEST(PassphrasePeer, WpaPassphraseAgreesWithOurPsk) {
  struct Case {
    std::string ssid, passphrase;
  };
  const Case cases[] = {
      {"IEEE", "password"},
      {"ThisIsASSID", "ThisIsAPassword"},
      {std::string(32, 'Z'), std::string(32, 'a')},
      {"zelnet", "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ!"},  // 63 characters
      {"caf\xC3\xA9-\xCE\xA9", "p\xC3\xA4sswort mit \xC3\xBCmlauten"},  // UTF-8 in both
      {"\xE6\x97\xA0\xE7\xBA\xBF\xE7\xBD\x91\xE7\xBB\x9C", "\xE5\xAF\x86\xE7\xA0\x81\xE5\xAF\x86\xE7\xA0\x81"},
      {"my net", "he said \"hi\" & left $HOME"},
  };
  for (const Case& c : cases) {
    const std::string peer = PeerPsk(c.ssid, c.passphrase);
    ASSERT_EQ(peer.size(), 64u) << peer;
    EXPECT_EQ(OurPsk(c.ssid, c.passphrase), Hex(peer)) << c.ssid << " / " << c.passphrase;
  }
}

}  // namespace
