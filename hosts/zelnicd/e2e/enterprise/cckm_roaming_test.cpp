// A CCKM roam in the real processes: two CCX access points of one WPA-Enterprise network
// that offers CCKM (zelnicd's, relaying 802.1X to FreeRADIUS), and the adapter-control
// library hosting libpentrel.so with a WPA (TKIP) PEAP profile. The first association names
// CCKM's AKM and authenticates with EAP; the handshake's PTK comes from the base key. When
// that access point goes off, the driver asks the host for a CCKM element (event 136), the
// library answers through OID_HLVN_CCX_CCKM_ELEMENT, the station reassociates to the other
// access point with it and is keyed from the response element: no EAP and no handshake there.
//
// tshark knows no CCKM key hierarchy, so the test derives the temporal key itself from the
// PMK FreeRADIUS handed out, the handshake's nonces and the RN of the reassociation (all
// read from the capture), and tshark decrypts the data frame sent after the roam with it.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <signal.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "dcf1/src/crypto/crypto_test_support.h"
#include "hosts/zelnicd/e2e/enterprise/enterprise_fixture.h"
#include "sim/air/testing/tshark_dissect.h"

namespace zelcon::testing {
namespace {

using crypto_test::FromHex;
using crypto_test::Hex;
using simair::testing::Dissect;
using simair::testing::SplitRow;

constexpr char kEast[] = "02:5a:4c:00:00:05";
constexpr char kWest[] = "02:5a:4c:00:00:06";
constexpr uint8_t kWestBssid[6] = {0x02, 0x5a, 0x4c, 0x00, 0x00, 0x06};
constexpr char kCckmTag[] = "156";

std::vector<uint8_t> Mac(const std::string& text) {
  std::string hex;
  for (char c : text)
    if (c != ':') hex += c;
  return FromHex(hex);
}

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// The IEEE 802.11i PRF over HMAC-SHA1; without a label the input is the data and the counter.
std::vector<uint8_t> Prf(const std::vector<uint8_t>& key, const std::string& label, const std::vector<uint8_t>& data,
                         size_t length) {
  std::vector<uint8_t> out;
  for (uint8_t counter = 0; out.size() < length; ++counter) {
    std::vector<uint8_t> input(label.begin(), label.end());
    if (!label.empty()) input.push_back(0);
    input.insert(input.end(), data.begin(), data.end());
    input.push_back(counter);
    unsigned char digest[20];
    unsigned int digestLength = 0;
    HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()), input.data(), input.size(), digest, &digestLength);
    out.insert(out.end(), digest, digest + digestLength);
  }
  out.resize(length);
  return out;
}

// A CCX access point of the CCKM network; east is heard best until it goes off at 5 s.
std::string CckmAccessPoint(const std::string& name, const std::string& bssid, int channel, int signal) {
  return "ap " + name + "\n bssid " + bssid + "\n ssid \"Zelnet Corp\"\n channel " + std::to_string(channel) +
         "\n security wpa-enterprise\n cckm\n ccx 4\n beacon-interval 50\n radius-server 127.0.0.1\n"
         " radius-port 1812\n radius-secret \"" + DemoRadiusSecret() + "\"\n signal " + std::to_string(signal) + "\n";
}

class CckmRoaming : public EnterpriseEndToEnd {
protected:
  CckmRoaming() {
    world_ = dir_.Write("cckm.world", "station 00:1e:4d:2d:17:01\ndefault-loss 100\n" +
                                          CckmAccessPoint("cckm-east", kEast, 1, -45) +
                                          CckmAccessPoint("cckm-west", kWest, 11, -75) +
                                          "at 5s cckm-east off\nat 5s cckm-west signal -45\n");
  }
};

TEST_F(CckmRoaming, TheOtherAccessPointKeysTheStationFromItsCckmElementWithoutEap) {
  PROFILE_ENTRY profile = DemoProfile("Zelnet Corp PEAP");
  profile.authMode = kAuthWpaPeap;  // WPA with TKIP: the library's CCKM
  profile.encryption = 2;
  ASSERT_TRUE(connection_->apply(profile));
  WipeProfile(profile);
  ASSERT_TRUE(window_.waitForCount(ZELCON_NOTIFY_PORT_AUTHORIZED, 2))
      << ::testing::PrintToString(window_.texts()) << zelnicd_->output();
  std::string station;
  const std::vector<uint8_t> payload =
      KeyedThenSendsAndStops(KSSTK_LINK_STATUS_FAST_RECONNECTED, 4, kWestBssid, station);  // 2 keys at each
  if (payload.empty()) return;
  EXPECT_NE(zelnicd_->output().find("zelnicd: air: cckm-west: " + station + " reassociated through CCKM"),
            std::string::npos)
      << zelnicd_->output();

  // The first association names CCKM's AKM (00-40-96-00) and EAP runs at east.
  const auto associations = Dissect(pcap_, "wlan.fc.type_subtype == 0 && wlan.da == " + std::string(kEast),
                                    {"wlan.wfa.ie.wpa.akms.oui", "wlan.wfa.ie.wpa.akms.type"});
  ASSERT_EQ(associations.size(), 1u) << ::testing::PrintToString(associations);
  EXPECT_EQ(associations[0], "|16534|0");
  EXPECT_FALSE(Dissect(pcap_, "eap && wlan.bssid == " + std::string(kEast), {}).empty());

  // At west: one reassociation with the CCKM element naming east as the access point left,
  // its response with CCKM's, and no EAPOL frame in the clear (nor, below, under the keys).
  const auto atWest = Dissect(pcap_, "wlan.bssid == " + std::string(kWest) + " && (wlan.fc.type == 0 || eapol)",
                              {"wlan.fc.type_subtype", "wlan.fixed.current_ap", "wlan.tag.number"});
  std::vector<std::string> exchange;
  for (const std::string& row : atWest) {
    const auto f = SplitRow(row);
    ASSERT_EQ(f.size(), 4u) << row;
    if (f[1] == "0x0008" || f[1] == "0x0004" || f[1] == "0x0005") continue;  // beacons and probes
    const bool cckm = ("," + f[3] + ",").find("," + std::string(kCckmTag) + ",") != std::string::npos;
    exchange.push_back(f[1] + (f[2].empty() ? "" : " from " + f[2]) + (cckm ? " cckm" : ""));
  }
  // Authentication, the reassociation and its response, the deauthentication at the halt.
  EXPECT_EQ(exchange, (std::vector<std::string>{"0x000b", "0x000b", "0x0002 from " + std::string(kEast) + " cckm",
                                                "0x0003 cckm", "0x000c"}));
  EXPECT_TRUE(Dissect(pcap_, "wlan.fc.type_subtype == 12 && wlan.da == " + std::string(kEast), {}).empty())
      << "the station left east with a deauthentication";

  // The temporal key at west: BTK = PRF-384(PMK, "Fast-Roam Generate Base Key", east | STA |
  // SNonce | ANonce) from east's handshake, PTK = PRF-512(BTK's last 32 bytes, RN | west), the
  // RN from the request element (00-40-96-00, timestamp, RN, MIC).
  const std::string pmk = LastPmkHex(radius_->Log());
  ASSERT_EQ(pmk.size(), 64u) << "no MS-MPPE-Recv-Key in the server's log";
  std::string anonce, snonce;
  for (const std::string& row : Dissect(pcap_, "eapol.keydes.type == 254 && wlan.bssid == " + std::string(kEast),
                                        {"wlan.sa", "wlan_rsna_eapol.keydes.nonce"})) {
    const auto f = SplitRow(row);
    ASSERT_EQ(f.size(), 3u) << row;
    if (f[1] == kEast && anonce.empty()) anonce = f[2];     // message 1
    if (f[1] == station && snonce.empty()) snonce = f[2];  // message 2
  }
  ASSERT_EQ(anonce.size(), 64u);
  ASSERT_EQ(snonce.size(), 64u);
  std::vector<uint8_t> request;
  const auto tags = Dissect(pcap_, "wlan.fc.type_subtype == 2", {"wlan.tag.data"});
  ASSERT_EQ(tags.size(), 1u);
  std::istringstream tagData(SplitRow(tags[0]).back());  // the undecoded elements' bodies, comma-separated
  for (std::string data; std::getline(tagData, data, ',');)
    if (data.size() == 2 * 24 && data.rfind("00409600", 0) == 0) request = FromHex(data);
  ASSERT_EQ(request.size(), 24u) << tags[0];
  const std::vector<uint8_t> rn(request.begin() + 12, request.begin() + 16);
  EXPECT_EQ(Hex(rn), "02000000");  // the first fast handoff after the handshake's RN 1
  const std::vector<uint8_t> btk = Prf(FromHex(pmk), "Fast-Roam Generate Base Key",
                                 Join({Mac(kEast), Mac(station), FromHex(snonce), FromHex(anonce)}), 48);
  const std::vector<uint8_t> ptk = Prf(std::vector<uint8_t>(btk.begin() + 16, btk.end()), "", Join({rn, Mac(kWest)}), 64);
  const std::string tk = Hex(std::vector<uint8_t>(ptk.begin() + 32, ptk.begin() + 48));  // TKIP's TK (tshark's "tk")

  // The only data frame at west, either way, is the station's: tshark decrypts it with that
  // key (a wrong one leaves it encrypted), and west's own data plane opened it (ICV and
  // Michael checked).
  const auto rows = Dissect(pcap_, "wlan.bssid == " + std::string(kWest) + " && wlan.fc.type_subtype == 0x0020",
                            {"wlan.sa", "wlan.fc.protected", "data.data"},
                            "-o wlan.enable_decryption:TRUE -o 'uat:80211_keys:\"tk\",\"" + tk + "\"'");
  ASSERT_EQ(rows.size(), 1u) << ::testing::PrintToString(rows);
  const auto frame = SplitRow(rows[0]);
  ASSERT_EQ(frame.size(), 4u);
  EXPECT_EQ(frame[0], "") << "malformed";
  EXPECT_EQ(frame[1], station);
  EXPECT_EQ(frame[2], "1");
  EXPECT_EQ(frame[3], Hex(payload)) << "not sent under the key CCKM gave west";
  EXPECT_NE(zelnicd_->output().find("zelnicd: air: cckm-west: data frames from stations: 1 opened under their keys, 0 refused"),
            std::string::npos)
      << zelnicd_->output();
}

}  // namespace
}  // namespace zelcon::testing
