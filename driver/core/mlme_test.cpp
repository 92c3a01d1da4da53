// MAC management and the connection OIDs at the core's own level: the authentication
// algorithm on the air, the shared-key challenge, the SSID set's bounds, the BSSID and
// BSSID-list answers.
#include <gtest/gtest.h>

#include <cstring>

#include "driver/core/bss_table.h"
#include "driver/core/mlme.h"
#include "driver/core/testing/core_fixture.h"
#include "driver/core/testing/test_frames.h"
#include "driver/ndis/status_codes.h"
#include "platform/ndis/ntddndis.h"

namespace zelnic::core {
namespace {

using testing::kApAddress;
using testing::StartedDriver;
using testing::TestBeacon;

class Mlme : public StartedDriver {
protected:
  // The access point enters the table; the join stands where its channel has been set.
  void JoinReady(std::uint16_t capability = 0x0001) {
    TestBeacon beacon = TestBeacon::Typical("zelnet", 6);
    beacon.capability = capability;
    receive(beacon.chipFrame());
    h.run([&] {
      std::memcpy(core->Station.TargetBssid, kApAddress.data(), 6);
      CopyBssToScratch(core, FindBss(core, kApAddress.data()));
      core->Station.ChannelPending = true;
    });
  }
  // Authentication frames queued, as {algorithm, sequence, body length, protected}.
  std::vector<std::array<int, 4>> authentications() const {
    std::vector<std::array<int, 4>> found;
    for (const auto& f : queuedFrames())
      if (f[2] == 0xB0)
        found.push_back({f[32] | f[33] << 8, f[34] | f[35] << 8, static_cast<int>(f.size()) - 32, (f[3] & 0x40) != 0});
    return found;
  }
  std::vector<std::uint8_t> authFrame(std::uint16_t algorithm, std::uint16_t sequence, std::uint16_t status,
                                      const std::vector<std::uint8_t>& elements) const {
    std::vector<std::uint8_t> f(32, 0);
    f[2] = 0xB0;
    std::copy(core->StationAddress.begin(), core->StationAddress.end(), f.begin() + 6);
    std::copy(kApAddress.begin(), kApAddress.end(), f.begin() + 12);
    std::copy(kApAddress.begin(), kApAddress.end(), f.begin() + 18);
    for (std::uint16_t v : {algorithm, sequence, status}) {
      f.push_back(static_cast<std::uint8_t>(v));
      f.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    f.insert(f.end(), elements.begin(), elements.end());
    f[0] = static_cast<std::uint8_t>(f.size() - 32);
    f[1] = static_cast<std::uint8_t>((f.size() - 32) >> 8);
    return f;
  }
};

TEST_F(Mlme, SharedKeyIsAlgorithmOneOnTheAirAndEveryOtherModeOpenSystem) {
  JoinReady();
  for (const auto& [modeValue, algorithm] :
       {std::pair{0u, 0}, {1u, 1}, {3u, 0}, {4u, 0}, {5u, 0}, {6u, 0}, {7u, 0}, {8u, 0}}) {
    const std::uint32_t mode = modeValue;
    ClearQueue();
    h.run([&] {
      core->Config.authMode = mode;
      core->Station.ChannelPending = true;
      EXPECT_EQ(JoinInfrastructureBss(core), StatusPending);
    });
    const auto auth = authentications();
    ASSERT_EQ(auth.size(), 1u) << "mode " << mode;
    EXPECT_EQ(auth[0][0], algorithm) << "mode " << mode;
    EXPECT_EQ(auth[0][1], 1);
    EXPECT_EQ(core->MlmeState, 1);
  }
}

TEST_F(Mlme, SharedKeyFrameTwoMustHoldAChallengeThatFitsInsideIt) {
  JoinReady(0x0011);  // ESS, privacy
  h.run([&] {
    core->Config.authMode = 1;
    core->Config.wepStatus = 0;
    core->Config.wepKeys[0].keyLength = 5;
    core->Config.wepKeys[0].keyIndex = 0x80000000u;
  });
  struct Case {
    const char* name;
    std::vector<std::uint8_t> elements;
    bool frame3;
  };
  std::vector<std::uint8_t> whole{16, 128};
  whole.resize(2 + 128, 0x5A);
  const Case cases[] = {
      {"a challenge of 128 bytes", whole, true},
      {"a challenge that runs past the frame", {16, 128, 1, 2, 3}, false},
      {"no challenge", {}, false},
      {"an empty challenge", {16, 0}, false},
      {"another element", {0, 3, 'a', 'b', 'c'}, false},
  };
  for (const Case& c : cases) {
    ClearQueue();
    h.run([&] {
      core->Station.ChannelPending = true;
      ASSERT_EQ(JoinInfrastructureBss(core), StatusPending);
    });
    ClearQueue();
    receive(authFrame(1, 2, 0, c.elements));
    const auto auth = authentications();
    const bool sent3 = !auth.empty() && auth[0][3] == 1;
    EXPECT_EQ(sent3, c.frame3) << c.name;
    if (c.frame3) {
      EXPECT_EQ(auth[0][2], 4 + 6 + 130 + 4) << "IV, fixed fields, challenge, ICV";
      EXPECT_EQ(core->MlmeState, 2);
    } else {
      EXPECT_NE(core->MlmeState, 2) << c.name;
    }
  }
}

TEST_F(Mlme, TheSsidSetNeedsItsLengthWordAndTheBytesItNames) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> data;
    NDIS_STATUS status;
  };
  const Case cases[] = {
      {"shorter than the length word", {3, 0, 0}, NDIS_STATUS_INVALID_LENGTH},
      {"fewer bytes than the length says", {5, 0, 0, 0, 'a', 'b', 'c', 'd'}, NDIS_STATUS_INVALID_LENGTH},
      {"longer than 32 bytes", [] { std::vector<std::uint8_t> d{33, 0, 0, 0}; d.resize(4 + 33, 'a'); return d; }(),
       NDIS_STATUS_INVALID_DATA},
      {"0xFF first: leave the network", {3, 0, 0, 0, 0xFF, 'a', 'b'}, NDIS_STATUS_SUCCESS},
  };
  for (const Case& c : cases) {
    const auto result = h.host->set(OID_802_11_SSID, c.data);
    EXPECT_EQ(result.status, c.status) << c.name;
    EXPECT_FALSE(result.pended) << c.name;
    EXPECT_EQ(core->Config.desiredSsid.length, 0u) << c.name;
    EXPECT_EQ(core->MlmeState, kMlmeIdle) << c.name;
  }
}

TEST_F(Mlme, TheAuthenticationModeSetTakesFourBytesOfZeroToSeven) {
  EXPECT_EQ(h.host->set(OID_802_11_AUTHENTICATION_MODE, std::vector<std::uint8_t>{8, 0, 0, 0}).status,
            NDIS_STATUS_INVALID_DATA);
  // A length other than one word is refused, and the refusal says the word is needed.
  const auto shortSet = h.host->set(OID_802_11_AUTHENTICATION_MODE, std::vector<std::uint8_t>{1, 0, 0});
  EXPECT_EQ(shortSet.status, NDIS_STATUS_BUFFER_TOO_SHORT);
  EXPECT_EQ(shortSet.bytesNeeded, 4u);
  const auto longSet = h.host->set(OID_802_11_AUTHENTICATION_MODE, std::vector<std::uint8_t>{1, 0, 0, 0, 0});
  EXPECT_EQ(longSet.status, NDIS_STATUS_INVALID_LENGTH);
  EXPECT_EQ(longSet.bytesNeeded, 4u);
  EXPECT_EQ(h.host->set(OID_802_11_AUTHENTICATION_MODE, std::vector<std::uint8_t>{2, 0, 0, 0}).status,
            NDIS_STATUS_SUCCESS);
  EXPECT_EQ(core->Config.authMode, 1u);  // automatic switch: shared key, with the fallback
  EXPECT_TRUE(core->Station.SharedKeyFallback);
}

TEST_F(Mlme, TheBssidIsAnsweredOnlyOnANetwork) {
  EXPECT_EQ(h.host->query(OID_802_11_BSSID, 6).status, NDIS_STATUS_ADAPTER_NOT_READY);
  h.run([&] {
    core->MlmeState = kMlmeAssociated;
    core->Bssid = {1, 2, 3, 4, 5, 6};
  });
  const auto answer = h.host->query(OID_802_11_BSSID, 6);
  EXPECT_EQ(answer.status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(std::vector<std::uint8_t>(answer.data.begin(), answer.data.begin() + 6),
            (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6}));
  h.run([&] { core->MlmeState = kMlmeIdle; });
}

TEST_F(Mlme, TheBssidListCarriesEachNetworkWithItsElementsAndRates) {
  TestBeacon one = TestBeacon::Typical("one", 1);
  TestBeacon two = TestBeacon::Typical("second", 11);
  two.bssid = testing::kOtherAp;
  receive(one.chipFrame(), -40);
  receive(two.chipFrame(), -70);
  h.run([&] { CopyBssTableToShadow(core); });
  const auto shortAnswer = h.host->query(OID_802_11_BSSID_LIST, 8);
  EXPECT_EQ(shortAnswer.status, NDIS_STATUS_BUFFER_TOO_SHORT);
  const auto answer = h.host->query(OID_802_11_BSSID_LIST, 4096);
  ASSERT_EQ(answer.status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(shortAnswer.bytesNeeded, answer.bytesDone);
  ULONG count = 0;
  std::memcpy(&count, answer.data.data(), 4);
  ASSERT_EQ(count, 2u);
  std::size_t at = 4;
  for (const char* name : {"one", "second"}) {
    NDIS_WLAN_BSSID_EX entry;
    std::memcpy(&entry, answer.data.data() + at, offsetof(NDIS_WLAN_BSSID_EX, IEs));
    EXPECT_EQ(entry.Length % 4, 0u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(entry.Ssid.Ssid), entry.Ssid.SsidLength), name);
    // Supported, then extended rates.
    EXPECT_EQ(entry.SupportedRates[0], 0x82);
    EXPECT_EQ(entry.SupportedRates[8], 0x30);
    EXPECT_EQ(entry.SupportedRates[11], 0x6C);
    // Fixed fields, SSID, rates, DS, TIM, ERP, extended rates.
    EXPECT_EQ(entry.IELength, 12u + 2 + std::strlen(name) + 10 + 3 + 6 + 3 + 6);
    EXPECT_LE(offsetof(NDIS_WLAN_BSSID_EX, IEs) + entry.IELength, entry.Length);
    at += entry.Length;
  }
  EXPECT_EQ(at, answer.bytesDone);
}

}  // namespace
}  // namespace zelnic::core
