// A synchronous link through the KSSTK_LINK_* functions: the messages of initialization,
// WPA2-PSK against the simulated access point's authenticator, the 802.1X start, the key
// timeouts, the timer machine's notices, and EAPOL frames the link discards. Time runs on
// the tick-count seam.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "ksSupp/link/link_test_host.h"
#include "ksSupp/trace.h"
#include "platform/win32/tick_count.h"
#include "sim/air/authenticator.h"

namespace {

using namespace link_test;
using Trail = std::vector<std::string>;

const air::MacAddress kStation = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
const air::MacAddress kBssid = {0x02, 0x00, 0x00, 0x00, 0x00, 0xAA};
const std::string kPassphrase = "correct horse battery";
const std::string kSsid = "zelnet";

std::vector<std::string>* g_lines = nullptr;
void CaptureTrace(int32_t, int32_t, const char* text, const uint8_t*, uint32_t) {
  if (g_lines != nullptr) g_lines->push_back(text);
}

class LinkEngineTest : public testing::Test {
 protected:
  void SetUp() override {
    g_lines = &lines_;
    ConnectTraceSources();
    KSSTK_SetTraceCallbackA(CaptureTrace);
    KSSTK_SetTraceLevel(4);
  }
  void TearDown() override {
    KSSTK_SetTraceLevel(0);
    KSSTK_SetTraceCallbackA(nullptr);
    g_lines = nullptr;
  }
  bool Traced(const std::string& line) const {
    return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
  }

  static Network PersonalNetwork(const std::string& passphrase = kPassphrase) {
    Network n;
    n.station = kStation;
    n.bssid = kBssid;
    n.passphrase = passphrase;
    n.ssid = kSsid;
    n.supplicantIe = air::BuildElement(air::KeyProtocol::Rsn, air::Cipher::Ccmp, air::Cipher::Ccmp);
    n.authenticatorIe = n.supplicantIe;
    return n;
  }
  static air::AuthenticatorConfig AccessPoint() {
    air::AuthenticatorConfig c;
    c.protocol = air::KeyProtocol::Rsn;
    c.authenticatorAddress = kBssid;
    c.supplicantAddress = kStation;
    c.pmk = air::PskFromPassphrase(kPassphrase, kSsid);
    c.supplicantElement = air::BuildElement(air::KeyProtocol::Rsn, air::Cipher::Ccmp, air::Cipher::Ccmp);
    return c;
  }
  // Carries frames between the link and the access point until both are quiet.
  static void Exchange(LinkHost& host, air::PskAuthenticator& ap, const Bytes& first) {
    std::vector<Bytes> toStation{first};
    while (!toStation.empty()) {
      const Bytes frame = toStation.front();
      toStation.erase(toStation.begin());
      const size_t before = host.frames.size();
      host.Deliver(frame);
      for (size_t i = before; i < host.frames.size(); ++i)
        if (std::optional<Bytes> answer = ap.Receive(host.frames[i])) toStation.push_back(*answer);
    }
  }

  plat::ManualTickCount clock_{5000};
  std::vector<std::string> lines_;
};

TEST_F(LinkEngineTest, InitializeReportsIdleAndLinkDown) {
  LinkHost host(false, false);
  KSSTK_LINK_Initialize(host.link);
  // PAE report (DISCONNECTED), status idle, link down, the pre-authentication port's report.
  EXPECT_EQ(host.Trail(), (Trail{"2:2", "1:1", "4", "24"}));
  EXPECT_EQ(host.Process(), 60000u) << "nothing runs: the longest wait";
}

// WPA2 personal: port up waits for keys; message 1 of the access point sets the PSK as the
// PMK, and the completed handshake connects the link with both keys equal to the access
// point's. The PSK comes from the pass phrase or from its 64 hexadecimal digits.
TEST_F(LinkEngineTest, Wpa2PersonalConnectsWithTheAccessPointsKeys) {
  const Bytes psk = air::PskFromPassphrase(kPassphrase, kSsid);
  std::string hex;
  for (uint8_t b : psk) hex += "0123456789abcdef"[b >> 4], hex += "0123456789ABCDEF"[b & 15];
  for (const std::string& passphrase : {kPassphrase, hex}) {
    SCOPED_TRACE(passphrase);
    LinkHost host;
    PersonalNetwork(passphrase).SetOn(host.link);
    host.Clear();
    KSSTK_LINK_PortUp(host.link);
    EXPECT_EQ(host.Trail(), (Trail{"1:5"}));

    host.Clear();
    air::PskAuthenticator ap(AccessPoint());
    Exchange(host, ap, ap.StartHandshake());
    ASSERT_TRUE(ap.PairwiseComplete()) << ap.LastError();
    // Message 2 and message 4, pairwise and group keys, connected, link up, the notices.
    EXPECT_EQ(host.Trail(), (Trail{"8", "8", "6", "6", "1:6", "3", "17", "10"}));
    ASSERT_EQ(host.keys.size(), 2u);
    EXPECT_EQ(host.keys[0].key, ap.TemporalKey());
    EXPECT_EQ(host.keys[0].suite, 0x000FAC04u);
    EXPECT_EQ(host.keys[1].key, ap.Gtk());
    const auto& network = host.seen[6].As<KSSTK_CONNECTED_NETWORK_MESSAGE>();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(network.Ssid), network.SsidLength), kSsid);
    EXPECT_EQ(0, std::memcmp(network.Bssid, kBssid.data(), 6));
    EXPECT_EQ(host.seen[7].As<KSSTK_CONNECTED_BSSID_MESSAGE>().EapType, 0u);
  }
}

// Without a usable pass phrase there is no PSK (not 32 zero bytes): message 1 is refused,
// and after 10 s the key timeout is reported on every step while the port stays up.
TEST_F(LinkEngineTest, NoPskMeansNoHandshakeAndAKeyTimeout) {
  struct Case {
    Network network;
    const char* trace;
  };
  Network none = PersonalNetwork();
  none.noPassphrase = true;
  Case cases[] = {
      {none, "Cannot set WPA key from passphrase: no passphrase supplied\n"},
      {PersonalNetwork(std::string(63, 'x') + "g"),
       "Cannot set WPA key from passphrase: 64-character passphrase is not hexadecimal\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.trace);
    lines_.clear();
    LinkHost host;
    c.network.SetOn(host.link);
    KSSTK_LINK_PortUp(host.link);
    host.Clear();
    air::PskAuthenticator ap(AccessPoint());
    host.Deliver(ap.StartHandshake());
    EXPECT_TRUE(host.frames.empty()) << "no message 2";
    EXPECT_TRUE(Traced(c.trace));
    EXPECT_TRUE(Traced("EAPOL-Key handshake message 1 discarded: no pre-shared key\n"));
    EXPECT_EQ(host.Process(), 10000u);
    clock_.Advance(10000);
    host.Clear();
    host.Process();
    clock_.Advance(10);
    host.Process();
    EXPECT_EQ(host.Trail(), (Trail{"16:1", "16:1"})) << "reported on each step, still up";
  }
}

// An ad-hoc network with a pass phrase gets its key at port up; without one, none.
TEST_F(LinkEngineTest, AdHocKeyFromThePassphraseOnly) {
  for (bool withPassphrase : {true, false}) {
    LinkHost host;
    Network n = PersonalNetwork();
    n.networkType = KSSTK_NETWORK_AD_HOC;
    n.cipher = KSSTK_CIPHER_TKIP;
    n.noPassphrase = !withPassphrase;
    n.SetOn(host.link);
    host.Clear();
    KSSTK_LINK_PortUp(host.link);
    if (withPassphrase) {
      ASSERT_EQ(host.keys.size(), 1u);
      EXPECT_EQ(host.keys[0].suite, 0x0050F202u);
      EXPECT_EQ(host.keys[0].index, 0x80000000u);
      EXPECT_EQ(host.keys[0].key, air::PskFromPassphrase(kPassphrase, kSsid));
      EXPECT_EQ(host.Trail(), (Trail{"6", "1:6", "3"})) << "no connect notices without keys to wait for";
    } else {
      EXPECT_TRUE(host.keys.empty());
      EXPECT_EQ(host.Trail(), (Trail{"1:6", "3"}));
    }
  }
}

// 802.1X port up: the PAE restarts, the first EAPOL-Start goes out after 2 s, and a port
// that never authenticates sends the "nasid" notice once, 30 s after port up.
TEST_F(LinkEngineTest, Port8021XStartsAndReportsASilentAuthenticator) {
  LinkHost host;
  Network n = PersonalNetwork();
  n.use8021X = 1;
  n.keySource = KSSTK_KEY_SOURCE_EAP;
  n.SetOn(host.link);
  host.Clear();
  KSSTK_LINK_PortUp(host.link);
  EXPECT_EQ(host.Trail(), (Trail{"2:4", "1:2"}));
  EXPECT_EQ(host.Process(), 2000u);
  clock_.Advance(2000);
  host.Clear();
  host.Process();
  ASSERT_EQ(host.frames.size(), 1u);
  EXPECT_EQ(host.frames[0], (Bytes{1, 1, 0, 0})) << "EAPOL-Start, version 1";
  int notices = 0;
  for (int second = 0; second < 40; ++second) {
    clock_.Advance(1000);
    host.Clear();
    host.Process();
    for (const std::string& m : host.Trail()) notices += m == "9:2";
  }
  EXPECT_EQ(notices, 1);
}

// The version of our EAPOL frames follows the authenticator's EAP frames (0 to 2; newer
// ones are answered with 2); frames the link cannot use are discarded with their reason.
TEST_F(LinkEngineTest, EapolReceiveChecksAndVersionEcho) {
  LinkHost host;
  Network n = PersonalNetwork();
  n.use8021X = 1;
  n.keySource = KSSTK_KEY_SOURCE_NONE;
  n.SetOn(host.link);
  KSSTK_IDENTITY identity = nullptr;
  ASSERT_EQ(KSSTK_CONTEXT_CreateIdentity(host.context(), &identity), 0);
  KSSTK_IDENTITY_SetUserNameA(identity, "alice");
  KSSTK_LINK_SetIdentity(host.link, identity);
  KSSTK_Release(identity);
  KSSTK_LINK_PortUp(host.link);
  const Bytes identityRequest = {0x01, 0x05, 0x00, 0x05, 0x01};  // EAP Request/Identity id 5
  for (uint8_t version : {1, 2, 3}) {
    Bytes frame = {version, 0, 0, 5};
    frame.insert(frame.end(), identityRequest.begin(), identityRequest.end());
    frame[5] = static_cast<uint8_t>(version + 10);  // a new id each time
    host.Clear();
    host.Deliver(frame);
    ASSERT_FALSE(host.frames.empty());
    EXPECT_EQ(host.frames.back()[0], version <= 2 ? version : 2);
  }
  struct Case {
    Bytes frame;
    const char* trace;
  };
  const Case cases[] = {
      {{2, 0, 0}, "Discarding EAPOL packet: too small to contain EAPOL header\n"},
      {{2, 0, 0, 9, 1, 1}, "Discarding EAPOL packet: length requires longer message\n"},
      {{2, 1, 0, 0}, "Discarding EAPOL packet: unknown packet type 1\n"},
  };
  for (const Case& c : cases) {
    lines_.clear();
    host.Clear();
    host.Deliver(c.frame);
    EXPECT_TRUE(Traced(c.trace)) << c.trace;
    EXPECT_TRUE(host.frames.empty());
  }
}

// Port up to the same network while the link is up holds the link in "roaming" for the
// roam period: authenticated within it, up again; otherwise down when it runs out.
TEST_F(LinkEngineTest, RoamingHoldsTheLinkForTheRoamPeriod) {
  LinkHost host;
  Network n = PersonalNetwork();
  n.keySource = KSSTK_KEY_SOURCE_NONE;  // connected at port up
  n.SetOn(host.link);
  EXPECT_EQ(KSSTK_LINK_SetRoamTimeoutMs(host.link, 5000), 0);
  KSSTK_LINK_PortUp(host.link);
  ASSERT_EQ(host.LastStatus(), 6u);

  host.Clear();
  KSSTK_LINK_PortUp(host.link);
  EXPECT_EQ(host.Trail(), (Trail{"23", "1:6", "3"}));

  // A personal network whose keys never come: roaming, then down after 5 s.
  Network keyed = PersonalNetwork();
  keyed.SetOn(host.link);
  host.Clear();
  KSSTK_LINK_PortUp(host.link);
  EXPECT_EQ(host.Trail(), (Trail{"23", "1:5"}));
  EXPECT_EQ(host.Process(), 5000u);
  clock_.Advance(5000);
  host.Clear();
  host.Process();
  EXPECT_EQ(host.Trail(), (Trail{"4"}));
}

TEST_F(LinkEngineTest, TerminateStopsTheLink) {
  LinkHost host;
  Network open = PersonalNetwork();
  open.keySource = KSSTK_KEY_SOURCE_NONE;
  open.SetOn(host.link);
  KSSTK_LINK_PortUp(host.link);
  host.Clear();
  KSSTK_LINK_Terminate(host.link);
  EXPECT_EQ(host.Trail(), (Trail{"1:1", "4"}));
  host.Clear();
  KSSTK_LINK_PortUp(host.link);
  clock_.Advance(20000);
  host.Process();
  EXPECT_TRUE(host.seen.empty());
}

}  // namespace
