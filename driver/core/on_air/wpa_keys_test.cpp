// The driver on WPA2-PSK (CCMP) and WPA-PSK (TKIP) networks of a simulated access point:
// the test acts as the host, handing every EAPOL frame the driver indicates to the
// supplicant's key handler, sending what it answers through the miniport, and setting the
// keys it returns through OID_802_11_ADD_KEY. The key the adapter table then holds is the
// one the access point agreed; data then flows both ways under it (the access point's
// OpenSSL ciphers against the driver's own), and tshark, given only the pass phrase,
// decrypts every data frame the driver sent to the bytes the host sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "dcf1/src/crypto/crypto_test_support.h"
#include "ksSupp/keys/key_handshake_fixture.h"
#include "driver/core/on_air/air_station.h"
#include "sim/air/psk_key_exchange.h"
#include "sim/air/test_radio.h"
#include "sim/air/tkip_protection.h"

namespace zelnic::core::testing {
namespace {

using namespace std::chrono_literals;

struct KeysCase {
  const char* name;
  const char* security;  // the world's word
  bool rsn;
  ULONG authMode;   // OID_802_11_AUTHENTICATION_MODE: 7 WPA2-PSK, 4 WPA-PSK
  ULONG wepStatus;  // encryption status: 6 AES, 4 TKIP
  std::size_t keyLength;
};

void PrintTo(const KeysCase& c, std::ostream* os) { *os << c.name; }

// An NDIS_802_11_KEY record: Length, KeyIndex, KeyLength, BSSID, KeyRSC, key material at 32.
std::vector<std::uint8_t> AddKeyRecord(const keys_test::InstalledKey& key) {
  std::vector<std::uint8_t> record(32 + key.key.size(), 0);
  const std::uint32_t header[] = {static_cast<std::uint32_t>(record.size()), key.index,
                                  static_cast<std::uint32_t>(key.key.size())};
  std::memcpy(record.data(), header, sizeof header);
  std::memcpy(record.data() + 12, key.bssid.data(), 6);
  const std::uint64_t rsc = static_cast<std::uint64_t>(key.rscHigh) << 32 | key.rscLow;
  std::memcpy(record.data() + 20, &rsc, 8);
  std::memcpy(record.data() + 32, key.key.data(), key.key.size());
  return record;
}

class KeysStation : public AirStation {
protected:
  KeysCase kase{};
  keys_test::RecordingServices services;
  RsnKeyHandler rsnHandler{services};
  WpaKeyHandler wpaHandler{services};
  std::size_t sentSeen = 0, installedSeen = 0;
  std::vector<NDIS_STATUS> addKeyStatus;
  std::vector<ndis::StatusIndication> statuses;  // every status the driver indicated

  KeyHandler& Handler() { return kase.rsn ? static_cast<KeyHandler&>(rsnHandler) : wpaHandler; }

  // The host's side: EAPOL frames to the handler, its answers to the miniport, its keys to ADD_KEY.
  void Host(const simair::MacAddress& bssid) {
    for (const ndis::EthFrame& frame : h.host->takeReceived()) {
      if (frame.size() < 14 || frame[12] != 0x88 || frame[13] != 0x8E) continue;
      const std::vector<std::uint8_t> eapol(frame.begin() + 14, frame.end());
      if (kase.rsn) keys_test::Deliver(rsnHandler, eapol);
      else keys_test::Deliver(wpaHandler, eapol);
    }
    // A MIC failure the driver indicates (status type 0, the request's flags at 16) goes to
    // the handler, which answers with its failure report.
    for (const auto& status : h.host->takeStatus()) {
      statuses.push_back(status);
      if (status.status != NDIS_STATUS_MEDIA_SPECIFIC_INDICATION || status.payload.size() < 20 || status.payload[0] != 0)
        continue;
      std::uint32_t flags = 0;
      std::memcpy(&flags, status.payload.data() + 16, 4);
      if (kase.rsn) rsnHandler.RsnAuthIndication(flags, bssid.data());
      else wpaHandler.WpaAuthIndication(flags, bssid.data());
    }
    for (; sentSeen < services.sent.size(); ++sentSeen) {
      ndis::EthFrame frame(bssid.begin(), bssid.end());
      const simair::MacAddress station = StationAddress();
      frame.insert(frame.end(), station.begin(), station.end());
      frame.push_back(0x88);
      frame.push_back(0x8E);
      frame.insert(frame.end(), services.sent[sentSeen].begin(), services.sent[sentSeen].end());
      h.host->send({frame});
    }
    for (; installedSeen < services.installed.size(); ++installedSeen)
      addKeyStatus.push_back(h.host->set(OID_802_11_ADD_KEY, AddKeyRecord(services.installed[installedSeen])).status);
  }

  // Joins the network of `c` and runs its handshake with the host's help; the access point's
  // authenticator of the station comes back.
  // `moreAccessPoints`: world lines after the network's own access point.
  void Connect(const KeysCase& c, air::PskAuthenticator*& authenticator, const std::string& moreAccessPoints = "") {
    kase = c;
    StartWorld(std::string("ap secure\n bssid 02:5a:4c:00:00:07\n ssid \"") + keys_test::kSsid + "\"\n channel 6\n security " +
                   c.security + "\n passphrase \"" + keys_test::kPassphrase + "\"\n" + moreAccessPoints,
               std::string("wpa_keys_") + c.name);
    simair::PskKeyExchange* exchange = world->keyExchange(0);
    ASSERT_NE(exchange, nullptr);
    const simair::MacAddress bssid = Ap(0).address();
    h.run([&] { core->Config.wepStatus = c.wepStatus; });
    ASSERT_EQ(SetWord(OID_802_11_AUTHENTICATION_MODE, c.authMode).status, NDIS_STATUS_SUCCESS);

    KeyHandler& handler = Handler();
    services.handler = &handler;
    services.psk = keys_test::StationPsk();
    handler.Reset();
    handler.SetAddresses(bssid.data(), StationAddress().data());
    const air::Bytes beacon = air::BuildElement(c.rsn ? air::KeyProtocol::Rsn : air::KeyProtocol::Wpa,
                                                c.rsn ? air::Cipher::Ccmp : air::Cipher::Tkip,
                                                c.rsn ? air::Cipher::Ccmp : air::Cipher::Tkip);
    handler.SetAuthenticatorIes(beacon.data(), static_cast<std::uint32_t>(beacon.size()));
    ASSERT_EQ(SetSsid(keys_test::kSsid).status, NDIS_STATUS_SUCCESS);
    ASSERT_TRUE(Ap(0).associated(StationAddress()));
    // The element the driver put in its association request, as the host reads it.
    authenticator = exchange->authenticator(StationAddress());
    ASSERT_NE(authenticator, nullptr);
    const air::Bytes& element = authenticator->Config().supplicantElement;
    ASSERT_FALSE(element.empty());
    handler.SetSupplicantIes(element.data(), static_cast<std::uint32_t>(element.size()));

    // Up to 4 s: the access point sends message 1 again after 1 s when the first goes unanswered.
    for (int round = 0; round < 400 && !(exchange->keysInForce(StationAddress()) && handler.HandshakeComplete()); ++round) {
      Host(bssid);
      Advance(10ms);
  }
  Host(bssid);
  for (const auto& completion : h.host->takeSendCompletions()) EXPECT_EQ(completion.status, NDIS_STATUS_SUCCESS);
  ASSERT_TRUE(exchange->keysInForce(StationAddress())) << "frames the access point refused: " << exchange->counters().refusedFrames;
  ASSERT_TRUE(handler.HandshakeComplete());
  ASSERT_EQ(addKeyStatus.size(), 2u);  // the pairwise key and the group key
  for (NDIS_STATUS status : addKeyStatus) EXPECT_EQ(status, NDIS_STATUS_SUCCESS);
  }
};

class WpaKeys : public KeysStation, public ::testing::WithParamInterface<KeysCase> {};

TEST_P(WpaKeys, HandshakeKeysCarryDataBothWaysAndTsharkDecryptsTheDriversFrames) {
  const KeysCase& c = GetParam();
  air::PskAuthenticator* authenticator = nullptr;
  ASSERT_NO_FATAL_FAILURE(Connect(c, authenticator));
  const air::Bytes tk = authenticator->TemporalKey();
  ASSERT_EQ(tk.size(), c.keyLength);
  h.run([&] {
    ASSERT_GE(core->Keys.KeysInstalled(), 1u);
    const KeyEntry& pairwise = core->Keys.Entry(0);
    EXPECT_EQ(pairwise.keyLength, c.keyLength);
    EXPECT_EQ(0, std::memcmp(pairwise.temporalKey, tk.data(), 16));
  });
  EXPECT_TRUE(Ap(0).associated(StationAddress()));
  // Message 1 comes right after the association response, while the firmware is still
  // taking the association: the driver reads it then, so no retransmission was needed.
  EXPECT_EQ(world->keyExchange(0)->counters().retransmissions, 0u);

  // Data both ways, payloads as sent.
  simair::DistributionPort* port = world->distributionPort(0);
  const simair::MacAddress server{0x02, 0x00, 0x00, 0x00, 0x09, 0x01};
  std::set<std::string> sentUp;
  for (std::uint8_t i = 0; i < 3; ++i) {
    std::vector<std::uint8_t> up(40 + 500 * i, static_cast<std::uint8_t>(0x30 + i));
    ndis::EthFrame frame(server.begin(), server.end());
    const simair::MacAddress station = StationAddress();
    frame.insert(frame.end(), station.begin(), station.end());
    frame.push_back(0x88);
    frame.push_back(0xB5);
    frame.insert(frame.end(), up.begin(), up.end());
    h.host->send({frame});
    Advance(20ms);
    const auto out = port->take();
    ASSERT_TRUE(out.has_value()) << "refused " << port->refused();
    EXPECT_EQ(out->payload, up);
    sentUp.insert(crypto_test::Hex(up));

    const std::vector<std::uint8_t> down(30 + 400 * i, static_cast<std::uint8_t>(0x60 + i));
    ASSERT_EQ(port->deliver({station, server, 0x88B5, down}), simair::AccessPoint::DataOutcome::Sent);
    Advance(20ms);
    const auto received = h.host->takeReceived();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(std::vector<std::uint8_t>(received[0].begin() + 14, received[0].end()), down);
  }
  for (const auto& completion : h.host->takeSendCompletions()) EXPECT_EQ(completion.status, NDIS_STATUS_SUCCESS);

  // tshark decrypts every protected data frame the driver sent, from the pass phrase and
  // the handshake in the capture.
  const auto decrypted = TsharkDecryptedPayloads(
      pcapPath, StationAddress(), std::string("\"wpa-pwd\",\"") + keys_test::kPassphrase + ":" + keys_test::kSsid + "\"",
      "!eapol");
  EXPECT_EQ(decrypted.size(), 3u);
  EXPECT_EQ(std::set<std::string>(decrypted.begin(), decrypted.end()), sentUp);
}

const KeysCase kTkip{"WpaTkip", "wpa-psk", false, 4, 4, 32};
const KeysCase kCcmp{"Wpa2Ccmp", "wpa2-psk", true, 7, 6, 16};

INSTANTIATE_TEST_SUITE_P(Networks, WpaKeys, ::testing::Values(kCcmp, kTkip),
                         [](const auto& info) { return std::string(info.param.name); });

// A replayed frame is dropped; two frames whose Michael is wrong within 60 s end the
// association with reason 14, and the station stays away while the block lasts.
TEST_F(KeysStation, TkipReplaysAreDroppedAndTwoMichaelFailuresStartTheCountermeasures) {
  air::PskAuthenticator* authenticator = nullptr;
  ASSERT_NO_FATAL_FAILURE(Connect(kTkip, authenticator));
  simair::TestRadio listener({0x02, 0x00, 0x00, 0x00, 0x0E, 0x01}, 6);
  world->medium().join(listener);
  const simair::MacAddress station = StationAddress(), bssid = Ap(0).address();
  const simair::MacAddress server{0x02, 0x00, 0x00, 0x00, 0x09, 0x01};
  simair::DistributionPort* port = world->distributionPort(0);
  (void)h.host->takeReceived();

  ASSERT_EQ(port->deliver({station, server, 0x88B5, {1, 2, 3}}), simair::AccessPoint::DataOutcome::Sent);
  Advance(20ms);
  EXPECT_EQ(h.host->takeReceived().size(), 1u);
  ASSERT_FALSE(listener.heard.empty());
  const simair::dot11::Bytes sent = listener.heard.back().frame.bytes;
  ASSERT_NE(sent[1] & simair::dot11::flag::Protected, 0);
  Ap(0).send(sent);
  Advance(20ms);
  EXPECT_TRUE(h.host->takeReceived().empty()) << "the replay came through";

  // Sealed with the agreed key under fresh TSCs, but with a Michael that is not the key's.
  const air::Bytes tk = authenticator->TemporalKey();
  const auto forged = [&](std::uint64_t tsc) {
    simair::dot11::FrameWriter w;
    w.header(simair::dot11::FrameType::Data, 0, simair::dot11::flag::FromDs | simair::dot11::flag::Protected, station,
             bssid, server, static_cast<std::uint16_t>(tsc));
    simair::dot11::Bytes frame = w.take();
    const simair::dot11::Bytes plain{0xAA, 0xAA, 0x03, 0, 0, 0, 0x88, 0xB5, 9, 9, 9, 1, 2, 3, 4, 5, 6, 7, 8};
    const auto body = simair::TkipSeal(simair::TemporalKey(tk.data(), 16), bssid, tsc, 0, plain);
    frame.insert(frame.end(), body.begin(), body.end());
    return frame;
  };
  listener.heard.clear();
  Ap(0).send(forged(1000));
  Advance(10ms);
  Host(bssid);  // the report of the first failure
  Advance(10s);
  EXPECT_TRUE(Ap(0).associated(station));
  Ap(0).send(forged(1001));
  Advance(10ms);
  Host(bssid);  // the report of the second, the one the countermeasures let out
  Advance(1s);
  EXPECT_FALSE(Ap(0).associated(station));
  std::vector<std::uint16_t> reasons;
  for (const auto& heard : listener.heard) {
    const simair::dot11::FrameView view(heard.frame.bytes);
    if (view.is(simair::dot11::FrameType::Management, simair::dot11::subtype::Deauthentication) && view.address2() == station)
      reasons.push_back(static_cast<std::uint16_t>(heard.frame.bytes[24] | heard.frame.bytes[25] << 8));
  }
  // The access point runs its own countermeasures on the two reports and lets the station go
  // too; the station's own deauthentication says 14.
  EXPECT_NE(std::find(reasons.begin(), reasons.end(), 14), reasons.end());

  // While the block lasts the station does not join the network again.
  listener.heard.clear();
  (void)SetSsid(keys_test::kSsid, 1s);
  Advance(30s);
  EXPECT_FALSE(Ap(0).associated(station));
  for (const auto& heard : listener.heard)
    EXPECT_FALSE(simair::dot11::FrameView(heard.frame.bytes).is(simair::dot11::FrameType::Management,
                                                                simair::dot11::subtype::AssociationRequest));
}

// Once the group key is set, the driver names the access points of its network the supplicant
// may hold PMKSAs for: those of the same SSID with an RSN element, its own first, then by
// signal; a WPA-only access point and another network's are not among them.
TEST_F(KeysStation, TheGroupKeyIsFollowedByThePmkidCandidatesOfTheNetwork) {
  const std::string network = std::string(" ssid \"") + keys_test::kSsid + "\"\n channel 6\n passphrase \"" +
                              keys_test::kPassphrase + "\"\n";
  air::PskAuthenticator* authenticator = nullptr;
  ASSERT_NO_FATAL_FAILURE(Connect(kCcmp, authenticator,
                                  "ap weaker\n bssid 02:5a:4c:00:00:08\n security wpa2-psk\n signal -75\n" + network +
                                      "ap stronger\n bssid 02:5a:4c:00:00:09\n security wpa2-psk\n signal -60\n" + network +
                                      "ap wpa-only\n bssid 02:5a:4c:00:00:0a\n security wpa-psk\n signal -55\n" + network +
                                      "ap elsewhere\n bssid 02:5a:4c:00:00:0b\n ssid \"Another\"\n channel 6\n"
                                      " security wpa2-psk\n passphrase \"" + keys_test::kPassphrase + "\"\n"));
  std::vector<std::vector<std::uint8_t>> lists;
  for (const auto& status : statuses) {
    if (status.status == NDIS_STATUS_MEDIA_SPECIFIC_INDICATION && status.payload.size() >= 4 && status.payload[0] == 2)
      lists.push_back(status.payload);
  }
  ASSERT_EQ(lists.size(), 1u);  // after the group key, not after the pairwise one
  const auto word = [&](std::size_t at) {
    std::uint32_t value = 0;
    std::memcpy(&value, lists[0].data() + at, 4);
    return value;
  };
  ASSERT_EQ(lists[0].size(), 12u + 3 * 12);
  EXPECT_EQ(word(4), 1u);  // version
  EXPECT_EQ(word(8), 3u);
  const std::uint8_t expected[3][6] = {{0x02, 0x5a, 0x4c, 0, 0, 0x07}, {0x02, 0x5a, 0x4c, 0, 0, 0x09},
                                       {0x02, 0x5a, 0x4c, 0, 0, 0x08}};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(0, std::memcmp(lists[0].data() + 12 + 12 * i, expected[i], 6)) << i;
    EXPECT_EQ(word(12 + 12 * i + 8), 0u) << i;  // no access point here offers pre-authentication
  }
}

}  // namespace
}  // namespace zelnic::core::testing
