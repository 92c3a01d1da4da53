// A synchronous link, driven only through the KSSTK_* functions, against hostapd's 802.1X
// authenticator and EAP server: a small host carries the link's EAPOL frames to the wired
// port and hostapd's back, and runs KSSTK_LINK_Process on the tick-count seam (the clock
// jumps to the link's first EAPOL-Start and otherwise follows real time). EAP-MD5 without
// keys, EAP-TLS with dynamic WEP keys from hostapd's legacy key descriptors (equal to the
// keys hostapd logs), the version of our EAPOL frames and a reauthentication.
#include <openssl/pem.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
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
#include "sim/air/authenticator.h"
#include "tests/peers/hostapd_fixture.h"
#include "tests/peers/pem_text.h"
#include "tests/peers/preauth_socket.h"
#include "tests/peers/user_certificates.h"

namespace peers {
namespace {

using capi::testing::TestCertificate;
using link_test::LinkHost;
using link_test::Network;

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
        if (versions.empty() && host.frames.empty()) clock_.Advance(wait);  // to the first EAPOL-Start
      }
    }
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
    KSSTK_IDENTITY identity = MakeIdentity(host.context(), "bob", "md5 secret", 4);
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
// A method without keys (EAP-MD5) on a network that wants them: after EAP success the link
// waits for keys, and 10 s later reports the key timeout and goes idle.
TEST_F(LinkPeerTest, KeysThatNeverComeTimeOut) {
  StartHostapd({.eapUsers = {"\"bob\" MD5 \"md5 secret\""}});
  LinkHost host;
  KSSTK_IDENTITY identity = MakeIdentity(host.context(), "bob", "md5 secret", 4);
  KSSTK_LINK_SetIdentity(host.link, identity);
  KSSTK_Release(identity);
  const MacAddress station = NewStation();
  Network n = Wired(station, KSSTK_ASSOCIATION_RSN, KSSTK_KEY_SOURCE_EAP, KSSTK_CIPHER_CCMP);
  n.supplicantIe = air::BuildElement(air::KeyProtocol::Rsn, air::Cipher::Ccmp, air::Cipher::Ccmp, air::Akm::Ieee8021X);
  n.SetOn(host.link);
  EapolPort port(space(), stationInterface(), station);
  KSSTK_LINK_PortUp(host.link);
  Run(host, port, [&] { return host.LastStatus() == KSSTK_LINK_STATUS_WAITING_FOR_KEYS; });
  ASSERT_EQ(host.LastStatus(), KSSTK_LINK_STATUS_WAITING_FOR_KEYS);
  host.Clear();
  EXPECT_EQ(host.Process(), 10000u);
  clock_.Advance(10000);
  host.Process();
  EXPECT_EQ(host.Trail(), (std::vector<std::string>{"16:1", "2:2", "1:1"}));
  hostapd().Deauthenticate(station);
}

// hostapd serving EAP-TLS to "alice" (with `extra` configuration), and a link whose host
// trusts hostapd's chain (the library's own judgement is tested with the chain engine) and
// whose identity holds alice's certificate from the user's store.
class LinkTlsPeerTest : public LinkPeerTest {
 protected:
  void SetUp() override {
    LinkPeerTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_EQ(KSSTK_Initialize(), 0);  // the TLS library and its random generator
    initialized_ = true;
    AddToStore("ROOT", certs().ca, false);
    AddToStore("MY", certs().client, true);
  }
  void TearDown() override {
    host_.reset();
    if (initialized_) KSSTK_Terminate();
    LinkPeerTest::TearDown();
  }
  static const Certificates& certs() { return UserCertificates(); }
  void StartTls(std::vector<std::string> extra) {
    extra.push_back("ca_cert=" + dir().Write("ca.pem", Pem(certs().ca, false)));
    extra.push_back("server_cert=" + dir().Write("server.pem", Pem(certs().server, false)));
    extra.push_back("private_key=" + dir().Write("server.key", Pem(certs().server, true)));
    StartHostapd({.eapUsers = {"\"alice\" TLS"}, .extraConfig = extra, .logKeys = true});
    host_.emplace(false, true, true);
    KSSTK_CONTEXT_Initialize(host_->context());
    KSSTK_IDENTITY identity = MakeIdentity(host_->context(), "alice", nullptr, 13, &certs().client);
    KSSTK_LINK_SetIdentity(host_->link, identity);
    KSSTK_Release(identity);
    host_->answer = [](KSSTK_CALLBACK_MESSAGE* message) {
      if (message->Code == KSSTK_MSG_VALIDATE_SERVER_CERT)
        reinterpret_cast<KSSTK_VALIDATE_SERVER_CERT_MESSAGE*>(message)->Verdict = KSSTK_CHAIN_TRUSTED;
    };
  }

  // WPA2-Enterprise on the wire: RSN with 802.1X key management, keys from EAP.
  static Network Enterprise(const MacAddress& station) {
    Network n = Wired(station, KSSTK_ASSOCIATION_RSN, KSSTK_KEY_SOURCE_EAP, KSSTK_CIPHER_CCMP);
    n.supplicantIe = air::BuildElement(air::KeyProtocol::Rsn, air::Cipher::Ccmp, air::Cipher::Ccmp,
                                       air::Akm::Ieee8021X);
    n.authenticatorIe = n.supplicantIe;
    return n;
  }
  // The simulated access point of network n whose PMK is the first half of msk.
  static air::AuthenticatorConfig AccessPointOf(const Network& n, const MacAddress& station,
                                                const std::vector<std::uint8_t>& msk) {
    air::AuthenticatorConfig config;
    config.protocol = air::KeyProtocol::Rsn;
    std::copy(n.bssid.begin(), n.bssid.end(), config.authenticatorAddress.begin());
    std::copy(station.begin(), station.end(), config.supplicantAddress.begin());
    config.pmk.assign(msk.begin(), msk.begin() + std::min<std::size_t>(msk.size(), 32));
    config.authenticatorElement = n.authenticatorIe;
    config.supplicantElement = n.supplicantIe;
    return config;
  }

  // Port up on n: EAP-TLS with hostapd up to waiting for keys, then the 4-way handshake with
  // the simulated access point whose PMK is hostapd's session key. That access point, or
  // null after a failure (recorded).
  std::unique_ptr<air::PskAuthenticator> ConnectEnterprise(LinkHost& host, const Network& n,
                                                           const MacAddress& station) {
    n.SetOn(host.link);
    {
      EapolPort port(space(), stationInterface(), station);
      KSSTK_LINK_PortUp(host.link);
      Run(host, port, [&] { return host.LastStatus() == KSSTK_LINK_STATUS_WAITING_FOR_KEYS; });
    }
    if (host.LastStatus() != KSSTK_LINK_STATUS_WAITING_FOR_KEYS) {
      ADD_FAILURE() << "not waiting for keys: " << ::testing::PrintToString(host.Trail());
      return nullptr;
    }
    const std::vector<std::uint8_t> msk = LoggedKey(hostapd().Log(), "EAP-TLS: Derived key");
    if (msk.size() != 64u) {
      ADD_FAILURE() << "hostapd logged no 64-byte session key";
      return nullptr;
    }
    auto ap = std::make_unique<air::PskAuthenticator>(AccessPointOf(n, station, msk));
    Handshake(host, *ap);
    if (!ap->PairwiseComplete()) {
      ADD_FAILURE() << ap->LastError();
      return nullptr;
    }
    return ap;
  }

  // The simulated access point's 4-way handshake with the link, from message 1 on.
  static void Handshake(LinkHost& host, air::PskAuthenticator& ap) {
    std::vector<std::vector<std::uint8_t>> toStation{ap.StartHandshake()};
    host.frames.clear();
    while (!toStation.empty()) {
      const auto frame = toStation.front();
      toStation.erase(toStation.begin());
      host.Deliver(frame);
      for (const auto& sent : host.frames)
        if (auto answer = ap.Receive(sent)) toStation.push_back(*answer);
      host.frames.clear();
    }
  }

  capi::testing::ScopedCertRoot root_;
  bool initialized_ = false;
  std::optional<LinkHost> host_;
};

TEST_F(LinkTlsPeerTest, TlsWithDynamicWepKeys) {
  StartTls({"wep_key_len_broadcast=13", "wep_key_len_unicast=13"});
  LinkHost& host = *host_;
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
}

// 802.1X with WPA2: EAP-TLS against hostapd, whose session key then serves as the PMK of the
// simulated access point's 4-way handshake. The messages follow the connection's order.
TEST_F(LinkTlsPeerTest, Wpa2EnterpriseMessageSequence) {
  StartTls({});
  LinkHost& host = *host_;
  const MacAddress station = NewStation();
  host.Clear();
  const auto connected = ConnectEnterprise(host, Enterprise(station), station);
  ASSERT_TRUE(connected);
  const air::PskAuthenticator& ap = *connected;

  // Port up to EAP-Success: report CONNECTING, authenticating, EAPOL-Start, keys reset at
  // the identity request, ACQUIRED, identity response, AUTHENTICATING, the method's frames,
  // the chain question and the signing request (left to the store), AUTHENTICATED, waiting
  // for keys.
  const std::vector<std::string> trail = host.Trail();
  const std::vector<std::string> opening = {"2:4", "1:2", "8", "15", "2:5", "8", "2:6"};
  ASSERT_GT(trail.size(), opening.size());
  EXPECT_EQ(std::vector<std::string>(trail.begin(), trail.begin() + 7), opening);
  const auto authenticated = std::find(trail.begin(), trail.end(), "2:7");
  ASSERT_NE(authenticated, trail.end());
  for (auto it = trail.begin() + 7; it != authenticated; ++it) {
    EXPECT_TRUE(*it == "8" || *it == "14" || *it == "21") << *it;
  }
  EXPECT_EQ(std::count(trail.begin() + 7, authenticated, "21"), 1);
  // Then the 4-way handshake: message 2 and 4, pairwise and group keys, authenticated,
  // link up, the connect notices.
  EXPECT_EQ(std::vector<std::string>(authenticated, trail.end()),
            (std::vector<std::string>{"2:7", "1:3", "8", "8", "6", "6", "1:4", "3", "17", "10"}));
  ASSERT_EQ(host.keys.size(), 2u);
  EXPECT_EQ(host.keys[0].key, ap.TemporalKey());
  EXPECT_EQ(host.keys[1].key, ap.Gtk());
  hostapd().Deauthenticate(station);
}


// RSN pre-authentication: authenticated by EAP-TLS and the 4-way handshake, the link learns
// of a candidate access point that allows pre-authentication (hostapd with rsn_preauth on
// its end of the wire). Its pre-authentication port runs EAP-TLS with hostapd over
// ethertype 0x88C7, every message with a pre-authentication code and the candidate's BSSID
// as context, and caches the PMK. The next association, to the candidate, skips 802.1X:
// message 1 names the PMKSA and the 4-way handshake completes with the cached PMK.
TEST_F(LinkTlsPeerTest, PreauthenticationCachesAPmksaTheNextAssociationUses) {
  StartTls({"wpa=2", "wpa_key_mgmt=WPA-EAP", "rsn_pairwise=CCMP", "rsn_preauth=1",
            "rsn_preauth_interfaces=" + hostapdInterface()});
  LinkHost& host = *host_;
  host.answer = [](KSSTK_CALLBACK_MESSAGE* message) {
    if (message->Code == KSSTK_MSG_VALIDATE_SERVER_CERT ||
        message->Code == KSSTK_MSG_PREAUTH_VALIDATE_SERVER_CERT)
      reinterpret_cast<KSSTK_VALIDATE_SERVER_CERT_MESSAGE*>(message)->Verdict = KSSTK_CHAIN_TRUSTED;
  };
  const MacAddress station = NewStation();
  const Network n = Enterprise(station);
  ASSERT_TRUE(ConnectEnterprise(host, n, station));
  const std::vector<std::uint8_t> msk = LoggedKey(hostapd().Log(), "EAP-TLS: Derived key");
  ASSERT_EQ(host.LastStatus(), KSSTK_LINK_STATUS_AUTHENTICATED);
  // The main port's station is forgotten, as after a roam: hostapd pre-authenticates only
  // stations that are not associated with it. While it still tears the old entry down it
  // drops an EAPOL-Start or two; the port's later starts (3 s apart) get through.
  hostapd().Deauthenticate(station);

  const MacAddress candidate = InterfaceAddress(space(), hostapdInterface());
  std::vector<std::uint8_t> listBytes(sizeof(KSSTK_PMKID_CANDIDATE_LIST) + sizeof(KSSTK_PMKID_CANDIDATE));
  auto* list = reinterpret_cast<KSSTK_PMKID_CANDIDATE_LIST*>(listBytes.data());
  list->Version = 1;
  list->NumCandidates = 1;
  std::copy(candidate.begin(), candidate.end(), list->CandidateList[0].BSSID);
  list->CandidateList[0].Flags = KSSTK_PMKID_CANDIDATE_PREAUTH_ENABLED;
  host.Clear();
  ASSERT_EQ(KSSTK_LINK_ReceivePMKIDCandidateListEvent(host.link, list), 0);

  PreauthSocket preauth(space(), stationInterface(), station);
  const auto preauthAuthenticated = [&] {
    for (const auto& s : host.seen)
      if (s.code == KSSTK_MSG_PREAUTH_AUTH_REPORT &&
          s.As<KSSTK_AUTH_REPORT_MESSAGE>().PaeState == 7)
        return true;
    return false;
  };
  std::vector<MacAddress> contexts;
  host.answer = [&, previous = host.answer](KSSTK_CALLBACK_MESSAGE* message) {
    previous(message);
    if (message->Code >= KSSTK_MSG_PREAUTH_AUTH_REPORT && message->Context != 0) {
      MacAddress target;
      std::memcpy(target.data(), reinterpret_cast<const void*>(message->Context), 6);
      contexts.push_back(target);
    }
  };
  std::size_t sent = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  auto last = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() < deadline && !preauthAuthenticated()) {
    for (; sent < host.seen.size(); ++sent)
      if (host.seen[sent].code == KSSTK_MSG_SEND_PREAUTH_EAPOL) preauth.Send(candidate, host.seen[sent].frame);
    const auto frame = preauth.Receive(std::chrono::milliseconds(50));
    const auto now = std::chrono::steady_clock::now();
    clock_.Advance(static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now - last).count()));
    last = now;
    if (frame) {
      EXPECT_EQ(KSSTK_LINK_ReceivePreauthEapol(host.link, frame->source.data(), frame->eapol.data(),
                                               static_cast<std::uint32_t>(frame->eapol.size())),
                0);
    } else {
      const std::uint32_t wait = host.Process();
      if (sent == 0) clock_.Advance(wait);  // to the first EAPOL-Start
    }
  }
  ASSERT_TRUE(preauthAuthenticated()) << ::testing::PrintToString(host.Trail());
  host.Process();
  ASSERT_FALSE(contexts.empty());
  for (const MacAddress& target : contexts) EXPECT_EQ(target, candidate);
  for (const auto& s : host.seen) {
    EXPECT_TRUE(s.code >= KSSTK_MSG_PREAUTH_AUTH_REPORT || s.code == KSSTK_MSG_SET_PMKID_LIST)
        << "the link's own port stays quiet: " << s.code;
  }
  const std::vector<std::uint32_t> codes = host.Codes();
  for (std::uint32_t code : {KSSTK_MSG_SEND_PREAUTH_EAPOL, KSSTK_MSG_PREAUTH_KEYS_RESET,
                             KSSTK_MSG_PREAUTH_VALIDATE_SERVER_CERT}) {
    EXPECT_NE(std::find(codes.begin(), codes.end(), code), codes.end()) << code;
  }
  const std::vector<std::uint8_t> preauthMsk = LoggedKey(hostapd().Log(), "EAP-TLS: Derived key");
  ASSERT_EQ(preauthMsk.size(), 64u);
  ASSERT_NE(preauthMsk, msk) << "a second authentication";

  // The next association, to the candidate: message 1 names the cached PMKSA, and the link
  // completes the handshake with the pre-authenticated PMK without any EAP.
  KSSTK_LINK_PortDown(host.link);
  Network roamed = n;
  roamed.bssid = candidate;
  roamed.SetOn(host.link);
  host.Clear();
  KSSTK_LINK_PortUp(host.link);
  air::AuthenticatorConfig roamedConfig = AccessPointOf(roamed, station, preauthMsk);
  roamedConfig.pmkidInMessage1 = true;
  air::PskAuthenticator roamedAp(roamedConfig);
  Handshake(host, roamedAp);
  ASSERT_TRUE(roamedAp.PairwiseComplete()) << roamedAp.LastError();
  host.Process();
  EXPECT_EQ(host.LastStatus(), KSSTK_LINK_STATUS_AUTHENTICATED) << ::testing::PrintToString(host.Trail());
  for (const auto& s : host.seen) {
    if (s.code == KSSTK_MSG_SEND_EAPOL) {
      EXPECT_EQ(s.frame.at(1), 3) << "EAPOL-Key frames only";
    }
  }
  ASSERT_FALSE(host.keys.empty());
  EXPECT_EQ(host.keys[0].key, roamedAp.TemporalKey());
}

}  // namespace
}  // namespace peers
