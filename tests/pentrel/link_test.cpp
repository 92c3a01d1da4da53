// A host that knows libpentrel.so only through ksstk.h authenticates a synchronous link with
// WPA2-PSK against the simulated access point's authenticator: frames through
// KSSTK_LINK_ReceiveEapol and the send message, keys through the add-key message, equal on
// both sides; for A and W links, the PSK computed ahead or at message 1.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "sim/air/authenticator.h"
#include "tests/pentrel/pentrel_host.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const air::MacAddress kStation = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
const air::MacAddress kBssid = {0x02, 0x00, 0x00, 0x00, 0x00, 0xAA};
const char kPassphrase[] = "correct horse battery";
const char16_t kPassphraseW[] = u"correct horse battery";
const char kSsid[] = "zelnet";

struct Host {
  std::vector<std::uint32_t> codes;
  std::vector<std::uint32_t> statuses;
  std::vector<Bytes> frames;
  std::vector<Bytes> keys;
};

uint32_t KSSTK_CALL Record(uintptr_t user, KSSTK_CALLBACK_MESSAGE* message) {
  Host& host = *reinterpret_cast<Host*>(user);
  host.codes.push_back(message->Code);
  if (message->Code == KSSTK_MSG_LINK_STATUS)
    host.statuses.push_back(reinterpret_cast<KSSTK_LINK_STATUS_MESSAGE*>(message)->Status);
  if (message->Code == KSSTK_MSG_SEND_EAPOL) {
    const auto& send = *reinterpret_cast<KSSTK_SEND_EAPOL_MESSAGE*>(message);
    host.frames.emplace_back(send.Frame, send.Frame + send.FrameLength);
  }
  if (message->Code == KSSTK_MSG_ADD_KEY) {
    const auto& add = *reinterpret_cast<KSSTK_ADD_KEY_MESSAGE*>(message);
    EXPECT_EQ(message->Size, sizeof(KSSTK_ADD_KEY_MESSAGE) + add.Key.KeyLength);
    host.keys.emplace_back(add.KeyMaterial, add.KeyMaterial + add.Key.KeyLength);
  }
  return 0;
}

class PentrelLink : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/pentrel-link-certs-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    certRoot_ = pattern;
    setenv("ZELNIC_CERT_ROOT", pattern, 1);
  }
  static void TearDownTestSuite() { std::system(("rm -rf '" + certRoot_ + "'").c_str()); }

  const PentrelLibrary& k = Pentrel();
  static std::string certRoot_;
};
std::string PentrelLink::certRoot_;

TEST_F(PentrelLink, Wpa2PersonalAgainstTheSimulatedAccessPoint) {
  const Bytes element = air::BuildElement(air::KeyProtocol::Rsn, air::Cipher::Ccmp, air::Cipher::Ccmp);
  for (const bool wide : {false, true}) {
    for (const bool precompute : {false, true}) {
      SCOPED_TRACE(std::string(wide ? "W" : "A") + (precompute ? " precomputed" : ""));
      KSSTK_CONTEXT context = nullptr;
      ASSERT_EQ(k.KSSTK_CreateContext(&context), 0);
      KSSTK_LINK link = nullptr;
      ASSERT_EQ((wide ? k.KSSTK_CONTEXT_CreateLinkSynchronousW : k.KSSTK_CONTEXT_CreateLinkSynchronousA)(context, &link), 0);
      ASSERT_NE(link, nullptr);
      Host host;
      ASSERT_EQ(k.KSSTK_LINK_SetCallbackA(link, Record, reinterpret_cast<uintptr_t>(&host)), 0);
      ASSERT_EQ(k.KSSTK_LINK_Initialize(link), 0);

      KSSTK_NETWORK_INFO info{};
      info.Length = sizeof info;
      info.NetworkType = KSSTK_NETWORK_INFRASTRUCTURE;
      info.AssociationMode = KSSTK_ASSOCIATION_RSN;
      info.KeySource = KSSTK_KEY_SOURCE_PASSPHRASE;
      info.Cipher = KSSTK_CIPHER_CCMP;
      std::memcpy(info.StationAddress, kStation.data(), 6);
      std::memcpy(info.Bssid, kBssid.data(), 6);
      const auto* ssid = reinterpret_cast<const uint8_t*>(kSsid);
      info.Ssid = ssid;
      info.SsidLength = sizeof kSsid - 1;
      info.SupplicantIe = element.data();
      info.SupplicantIeLength = static_cast<uint32_t>(element.size());
      info.AuthenticatorIe = element.data();
      info.AuthenticatorIeLength = static_cast<uint32_t>(element.size());
      if (wide) {
        info.Passphrase.W = kPassphraseW;
        if (precompute) k.KSSTK_LINK_PrecomputeWpaPskW(link, kPassphraseW, ssid, info.SsidLength);
        ASSERT_EQ(k.KSSTK_LINK_SetNetworkInfoW(link, &info), 0);
      } else {
        info.Passphrase.A = kPassphrase;
        if (precompute) k.KSSTK_LINK_PrecomputeWpaPskA(link, kPassphrase, ssid, info.SsidLength);
        ASSERT_EQ(k.KSSTK_LINK_SetNetworkInfoA(link, &info), 0);
      }
      ASSERT_EQ(k.KSSTK_LINK_PortUp(link), 0);

      air::AuthenticatorConfig config;
      config.protocol = air::KeyProtocol::Rsn;
      config.authenticatorAddress = kBssid;
      config.supplicantAddress = kStation;
      config.pmk = air::PskFromPassphrase(kPassphrase, kSsid);
      config.supplicantElement = element;
      air::PskAuthenticator ap(config);
      std::vector<Bytes> toStation{ap.StartHandshake()};
      while (!toStation.empty()) {
        const Bytes frame = toStation.front();
        toStation.erase(toStation.begin());
        host.frames.clear();
        ASSERT_EQ(k.KSSTK_LINK_ReceiveEapol(link, frame.data(), static_cast<uint32_t>(frame.size())), 0);
        for (const Bytes& sent : host.frames)
          if (std::optional<Bytes> answer = ap.Receive(sent)) toStation.push_back(*answer);
      }
      ASSERT_TRUE(ap.PairwiseComplete()) << ap.LastError();
      EXPECT_EQ(host.statuses, (std::vector<std::uint32_t>{KSSTK_LINK_STATUS_IDLE,
                                                           KSSTK_LINK_STATUS_WAITING_FOR_PSK_KEYS,
                                                           KSSTK_LINK_STATUS_CONNECTED_WITHOUT_8021X}));
      ASSERT_EQ(host.keys.size(), 2u);
      EXPECT_EQ(host.keys[0], ap.TemporalKey());
      EXPECT_EQ(host.keys[1], ap.Gtk());
      uint32_t wait = 0;
      EXPECT_EQ(k.KSSTK_LINK_Process(link, &wait), 0);
      EXPECT_EQ(wait, 60000u);

      EXPECT_EQ(k.KSSTK_LINK_PortDown(link), 0);
      EXPECT_EQ(host.statuses.back(), static_cast<std::uint32_t>(KSSTK_LINK_STATUS_IDLE));
      EXPECT_EQ(k.KSSTK_LINK_Terminate(link), 0);
      EXPECT_EQ(k.KSSTK_Release(link), 0);
      EXPECT_EQ(k.KSSTK_Release(context), 0);
    }
  }
}

}  // namespace
