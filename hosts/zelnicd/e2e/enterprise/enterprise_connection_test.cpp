// The WPA2-Enterprise network of the demo world end to end: zelnicd's access point relays
// the station's EAP from the air to FreeRADIUS (in a network namespace of the test's, on its
// loopback, with the test's PKI and users), the device backend takes the demo's profile as
// the utility applies it, and libpentrel.so runs PEAP/MS-CHAP-V2 or EAP-TLS (the client
// key from the user's certificate store) and the 4-way handshake keyed with the PMK. The
// keys are set on the driver, and a data frame sent afterwards is decrypted by tshark with
// the PMK that FreeRADIUS handed the access point. A wrong password fails with the utility's
// own message, and so does EAP-TLS when the store holds the certificate without its key.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "hosts/zelnicd/e2e/enterprise/enterprise_fixture.h"
#include "sim/air/testing/tshark_dissect.h"

namespace zelcon::testing {
namespace {

TEST_F(EnterpriseEndToEnd, PeapMsChapV2) { ConnectsAndCarriesProtectedData("Zelnet Corp PEAP"); }

TEST_F(EnterpriseEndToEnd, EapTlsSignsWithTheKeyOfTheUsersCertificateStore) {
  ConnectsAndCarriesProtectedData("Zelnet Corp TLS");
}

TEST_F(EnterpriseEndToEnd, AWrongPasswordFailsWithTheUtilitysMessage) {
  PROFILE_ENTRY profile = DemoProfile("Zelnet Corp PEAP");
  SetFieldText(profile.wpa.password, "not the password");
  FailsWith(profile, "Illegal login name or password for WPA authentication!");
}

// The client certificate is in the store but its key is not: nothing signs for the station,
// the handshake fails, and the port never opens.
class EnterpriseWithoutClientKey : public EnterpriseEndToEnd {
protected:
  EnterpriseWithoutClientKey() { clientKeyInStore_ = false; }
};

TEST_F(EnterpriseWithoutClientKey, EapTlsFailsWithTheUtilitysMessage) {
  FailsWith(DemoProfile("Zelnet Corp TLS"), "Illegal login name or certificate for WPA authentication!");
}

// One network on two access points. The station's fades out after its first connection: it
// moves to the other, is keyed again there from the PMKSA cache, and its data goes there.
class EnterpriseRoaming : public EnterpriseEndToEnd {
protected:
  EnterpriseRoaming() {
    std::string world = "station 00:1e:4d:2d:17:01\ndefault-loss 100\n";
    world += CorpAccessPoint("corp-east", "05", 1, -45) + CorpAccessPoint("corp-west", "06", 11, -75);
    world += "at 6s corp-east off\nat 6s corp-west signal -45\n";
    world_ = dir_.Write("roaming.world", world);
  }
  static std::string CorpAccessPoint(const std::string& name, const std::string& lastByte, int channel, int signal) {
    return "ap " + name + "\n bssid 02:5a:4c:00:00:" + lastByte + "\n ssid \"Zelnet Corp\"\n channel " +
           std::to_string(channel) + "\n security wpa2-enterprise\n radius-server 127.0.0.1\n radius-port 1812\n" +
           " radius-secret \"" + DemoRadiusSecret() + "\"\n signal " + std::to_string(signal) + "\n";
  }
};

// The access points share the PMKSA cache of the network: the station names its PMKSA in the
// reassociation, and corp-west keys it with the PMK of the EAP run at corp-east, no EAP again.
TEST_F(EnterpriseRoaming, TheOtherAccessPointOfTheNetworkKeysTheStationAgainWithTheCachedPmk) {
  const uint8_t west[6] = {0x02, 0x5a, 0x4c, 0x00, 0x00, 0x06};
  ConnectsAndCarriesProtectedData("Zelnet Corp PEAP", 2, west);
  if (HasFatalFailure()) return;

  // Corp-west's (re)association requests and EAPOL frames, in order: after the last request
  // only the 4-way and group-key frames, not one EAP packet.
  const auto rows = simair::testing::Dissect(
      pcap_, "wlan.bssid == 02:5a:4c:00:00:06 && (wlan.fc.type_subtype == 0 || wlan.fc.type_subtype == 2 || eapol)",
      {"wlan.fc.type", "eapol.type"});
  size_t keyFrames = 0, otherEapol = 0;
  bool associated = false;
  for (const std::string& row : rows) {
    const std::vector<std::string> fields = simair::testing::SplitRow(row);
    ASSERT_EQ(fields.size(), 3u) << row;
    if (fields[1] == "0") {  // a management frame: the (re)association request
      associated = true;
      keyFrames = otherEapol = 0;
    } else if (fields[2] == "3") {
      ++keyFrames;
    } else {
      ++otherEapol;
    }
  }
  EXPECT_TRUE(associated) << ::testing::PrintToString(rows);
  EXPECT_GE(keyFrames, 4u) << ::testing::PrintToString(rows);
  EXPECT_EQ(otherEapol, 0u) << "EAP ran again at corp-west: " << ::testing::PrintToString(rows);
  EXPECT_EQ(simair::testing::Dissect(pcap_, "eap && wlan.bssid == 02:5a:4c:00:00:06", {}).size(), 0u);
}

}  // namespace
}  // namespace zelcon::testing
