// A synchronous link, driven only through the KSSTK_* functions, against hostapd's 802.1X
// authenticator and EAP server: a small host carries the link's EAPOL frames to the wired
// port and hostapd's back, and runs KSSTK_LINK_Process on the tick-count seam (the clock
// jumps to the link's first EAPOL-Start and otherwise follows real time). EAP-MD5 without
// keys, EAP-TLS with dynamic WEP keys from hostapd's legacy key descriptors (equal to the
// keys hostapd logs), the version of our EAPOL frames and a reauthentication.
#include <openssl/pem.h>

#include <chrono>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "platform/cryptoapi/test_certificates.h"
#include "ksSupp/link/link_test_host.h"
#include "platform/cryptoapi/cert_context.h"
#include "platform/cryptoapi/cert_store.h"
#include "platform/cryptoapi/private_key.h"
#include "platform/cryptoapi/scoped_cert_root.h"
#include "platform/win32/tick_count.h"
#include "tests/peers/hostapd_fixture.h"
#include "tests/peers/pem_text.h"

namespace peers {
namespace {

using capi::testing::TestCertificate;
using link_test::LinkHost;
using link_test::Network;

void AddToStore(const char* store, const TestCertificate& cert, bool withKey) {
  capi::PCCERT_CONTEXT context = capi::CertCreateCertificateContext(
      capi::X509_ASN_ENCODING, cert.der.data(), static_cast<std::uint32_t>(cert.der.size()));
  ASSERT_NE(context, nullptr);
  if (withKey) {
    const std::vector<std::uint8_t> key = cert.Pkcs8();
    ASSERT_TRUE(capi::CertSetPrivateKey(context, key.data(), static_cast<std::uint32_t>(key.size())));
  }
  capi::HCERTSTORE opened = capi::CertOpenSystemStore(capi::StoreLocation::CurrentUser, store);
  ASSERT_NE(opened, nullptr);
  ASSERT_TRUE(capi::CertAddCertificateContextToStore(opened, context, capi::CERT_STORE_ADD_ALWAYS, nullptr));
  capi::CertCloseStore(opened, 0);
  capi::CertFreeCertificateContext(context);
}

// The bytes of a key hostapd logs with -K under `label`, the last one logged.
std::vector<std::uint8_t> LoggedKey(const std::string& log, const std::string& label) {
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

class LinkPeerTest : public HostapdTest {
 protected:
  // Carries frames both ways until done() holds or 20 s of real time passed.
  void Run(LinkHost& host, EapolPort& port, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    auto last = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() < deadline) {
      for (const auto& frame : host.frames) {
        port.set_version(frame[0]);
        port.Send(frame[1], std::span<const std::uint8_t>(frame.data() + 4, frame.size() - 4));
        versions.push_back(frame[0]);
      }
      host.frames.clear();
      if (done()) return;
      const auto frame = port.Receive(std::chrono::milliseconds(50));
      const auto now = std::chrono::steady_clock::now();
      clock_.Advance(static_cast<std::uint32_t>(
          std::chrono::duration_cast<std::chrono::milliseconds>(now - last).count()));
      last = now;
      if (frame) {
        std::vector<std::uint8_t> bytes = {frame->version, frame->type,
                                           static_cast<std::uint8_t>(frame->body.size() >> 8),
                                           static_cast<std::uint8_t>(frame->body.size())};
        bytes.insert(bytes.end(), frame->body.begin(), frame->body.end());
        received.push_back(bytes);
        host.Deliver(bytes);
      } else {
        const std::uint32_t wait = host.Process();
        if (versions.empty()) clock_.Advance(wait);  // to the first EAPOL-Start
      }
    }
  }

  KSSTK_IDENTITY Identity(KSSTK_CONTEXT context, const char* user, const char* password,
                          std::uint32_t type, const TestCertificate* certificate = nullptr) {
    KSSTK_IDENTITY identity = nullptr;
    EXPECT_EQ(KSSTK_CONTEXT_CreateIdentity(context, &identity), 0);
    KSSTK_IDENTITY_SetUserNameA(identity, user);
    if (password != nullptr) KSSTK_IDENTITY_SetPasswordA(identity, password);
    KSSTK_IDENTITY_SetEapTypes(identity, &type, 1);
    if (certificate != nullptr) {
      std::uint8_t hash[20];
      unsigned int length = 0;
      X509_digest(certificate->x509.get(), EVP_sha1(), hash, &length);
      KSSTK_IDENTITY_SetUserCertificate(identity, hash);
    }
    KSSTK_IDENTITY_Initialize(identity);
    return identity;
  }

  static Network Wired(const MacAddress& station, std::uint32_t mode, std::uint32_t keySource,
                       std::uint32_t cipher) {
    Network n;
    n.associationMode = mode;
    n.use8021X = 1;
    n.keySource = keySource;
    n.cipher = cipher;
    std::copy(station.begin(), station.end(), n.station.begin());
    n.bssid = {0x01, 0x80, 0xC2, 0x00, 0x00, 0x03};
    n.ssid = "wired";
    return n;
  }

  plat::ManualTickCount clock_{1000};
  std::vector<std::uint8_t> versions;  // of the frames we sent
  std::vector<std::vector<std::uint8_t>> received;
};

// EAP-MD5 derives no keys: with key source none the link is authenticated at EAP success.
// Our frames answer in the version of hostapd's; a reauthentication runs EAP again.
TEST_F(LinkPeerTest, Md5AuthenticatesWithoutKeysAndReauthenticates) {
  for (const char* version : {"1", "2"}) {
    SCOPED_TRACE(version);
    StartHostapd({.eapUsers = {"\"bob\" MD5 \"md5 secret\""},
                  .extraConfig = {std::string("eapol_version=") + version}});
    LinkHost host;
    KSSTK_IDENTITY identity = Identity(host.context(), "bob", "md5 secret", 4);
    KSSTK_LINK_SetIdentity(host.link, identity);
    KSSTK_Release(identity);
    const MacAddress station = NewStation();
    Wired(station, KSSTK_ASSOCIATION_8021X, KSSTK_KEY_SOURCE_NONE, 0).SetOn(host.link);
    EapolPort port(space(), stationInterface(), station);
    versions.clear();
    host.Clear();
    KSSTK_LINK_PortUp(host.link);
    Run(host, port, [&] { return host.LastStatus() == KSSTK_LINK_STATUS_AUTHENTICATED; });
    ASSERT_EQ(host.LastStatus(), KSSTK_LINK_STATUS_AUTHENTICATED) << hostapd().Log().substr(0, 4000);
    ASSERT_GE(versions.size(), 2u);
    EXPECT_EQ(versions.front(), 1) << "EAPOL-Start before hearing the authenticator";
    EXPECT_EQ(versions.back(), std::stoi(version)) << "the authenticator's version echoed";
    const auto& connected = std::find_if(host.seen.begin(), host.seen.end(), [](const auto& s) {
      return s.code == KSSTK_MSG_CONNECTED_BSSID;
    });
    ASSERT_NE(connected, host.seen.end());
    EXPECT_EQ(connected->template As<KSSTK_CONNECTED_BSSID_MESSAGE>().EapType, 4u);

    // Reauthentication: EAP runs again while the port stays authorized, so the link stays
    // authenticated (no new status) and the PAE reports AUTHENTICATED again.
    host.Clear();
    const std::size_t requestsBefore = received.size();
    KSSTK_LINK_Reauthenticate(host.link);
    const auto reportedAuthenticated = [&] {
      const auto trail = host.Trail();
      return std::find(trail.begin(), trail.end(), "2:7") != trail.end();
    };
    Run(host, port, reportedAuthenticated);
    EXPECT_TRUE(reportedAuthenticated()) << ::testing::PrintToString(host.Trail());
    EXPECT_GT(received.size(), requestsBefore + 1) << "a new EAP conversation";
    EXPECT_EQ(host.LastStatus(), 0u) << "no status change";
    hostapd().Deauthenticate(station);
  }
}

// EAP-TLS with the client certificate from the user's store, then hostapd's legacy RC4 key
// descriptors: the link installs the unicast and the broadcast WEP key, each equal to the
// key hostapd logs, and is authenticated. A descriptor replayed later is refused.
// hostapd's TLS library wants RSA keys of 2048 bits.
struct Certificates {
  TestCertificate ca = capi::testing::MakeCertificate("Link Test CA", {.isCa = true, .rsa = true, .rsaBits = 2048});
  TestCertificate server =
      capi::testing::MakeCertificate("hostapd.example", {.issuer = &ca, .serial = 2, .rsa = true, .rsaBits = 2048});
  TestCertificate client = capi::testing::MakeCertificate(
      "alice", {.issuer = &ca, .serial = 3, .rsa = true, .rsaBits = 2048, .extendedKeyUsage = "clientAuth"});
};

TEST_F(LinkPeerTest, TlsWithDynamicWepKeys) {
  static const Certificates* const certs = new Certificates;
  const Certificates& pki = *certs;
  capi::testing::ScopedCertRoot root;
  AddToStore("ROOT", pki.ca, false);
  AddToStore("MY", pki.client, true);
  StartHostapd({.eapUsers = {"\"alice\" TLS"},
                .extraConfig = {"ca_cert=" + dir().Write("ca.pem", Pem(pki.ca, false)),
                                "server_cert=" + dir().Write("server.pem", Pem(pki.server, false)),
                                "private_key=" + dir().Write("server.key", Pem(pki.server, true)),
                                "wep_key_len_broadcast=13", "wep_key_len_unicast=13"},
                .logKeys = true});

  ASSERT_EQ(KSSTK_Initialize(), 0);  // the TLS library and its random generator
  LinkHost host(false, true, true);
  KSSTK_CONTEXT_Initialize(host.context());
  KSSTK_IDENTITY identity = Identity(host.context(), "alice", nullptr, 13, &pki.client);
  KSSTK_LINK_SetIdentity(host.link, identity);
  KSSTK_Release(identity);
  // The host trusts hostapd's chain (the library's own judgement is tested with the chain
  // engine).
  host.answer = [](KSSTK_CALLBACK_MESSAGE* message) {
    if (message->Code == KSSTK_MSG_VALIDATE_SERVER_CERT)
      reinterpret_cast<KSSTK_VALIDATE_SERVER_CERT_MESSAGE*>(message)->Verdict = KSSTK_CHAIN_TRUSTED;
  };
  const MacAddress station = NewStation();
  Wired(station, KSSTK_ASSOCIATION_8021X, KSSTK_KEY_SOURCE_EAP, KSSTK_CIPHER_WEP).SetOn(host.link);
  EapolPort port(space(), stationInterface(), station);
  host.Clear();
  KSSTK_LINK_PortUp(host.link);
  Run(host, port, [&] { return host.LastStatus() == KSSTK_LINK_STATUS_AUTHENTICATED; });
  ASSERT_EQ(host.LastStatus(), KSSTK_LINK_STATUS_AUTHENTICATED) << ::testing::PrintToString(host.Trail());
  std::vector<std::string> statuses;
  for (const std::string& m : host.Trail())
    if (m.rfind("1:", 0) == 0) statuses.push_back(m);
  EXPECT_EQ(statuses, (std::vector<std::string>{"1:2", "1:3", "1:4"}));

  // Both descriptors passed the signature check under our session keys, so those are
  // hostapd's; the unicast key is the one hostapd logs (it does not log the broadcast one).
  ASSERT_EQ(host.keys.size(), 2u);
  const std::string log = hostapd().Log();
  for (const auto& key : host.keys) {
    EXPECT_EQ(key.code, KSSTK_MSG_SET_WEP_KEY);
    EXPECT_EQ(key.key.size(), 13u);
    if (key.index & 0x80000000u) {
      EXPECT_EQ(key.index, 0x80000000u);
      EXPECT_EQ(key.key, LoggedKey(log, "Individual WEP key"));
    } else {
      EXPECT_NE(key.index & 3u, 0u) << "a broadcast index";
    }
  }

  // The last descriptor again: refused as a replay, nothing installed.
  std::vector<std::uint8_t> descriptor;
  for (const auto& frame : received)
    if (frame.size() > 4 && frame[1] == 3) descriptor = frame;
  ASSERT_FALSE(descriptor.empty());
  host.Clear();
  host.Deliver(descriptor);
  EXPECT_TRUE(host.keys.empty());
  hostapd().Deauthenticate(station);
  KSSTK_Terminate();
}

}  // namespace
}  // namespace peers
