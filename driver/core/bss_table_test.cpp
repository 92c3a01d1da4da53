// Beacons and probe responses received through the core's Receive operation fill the BSS
// table: what an entry holds, which frames are refused, and what the associated station
// learns from its own network's beacons.
#include "driver/core/bss_table.h"

#include <gtest/gtest.h>

#include "driver/core/bss_parse.h"
#include "driver/core/channels.h"
#include "driver/core/testing/core_fixture.h"
#include "driver/core/testing/test_frames.h"

namespace zelnic::core {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::kApAddress;
using testing::kOtherAp;
using testing::StartedDriver;
using testing::TestBeacon;

class BssTable : public StartedDriver {
protected:
  const BssTableData& table() const { return BssTableOf(core); }
  std::string ssidOf(const NDIS_WLAN_BSSID& entry) const {
    return std::string(reinterpret_cast<const char*>(entry.Ssid.Ssid), entry.Ssid.SsidLength);
  }
  // The station associated with the typical access point on channel 6.
  void associate() {
    h.run([&] {
      core->MlmeState = kMlmeAssociated;
      core->MediaDisconnected = 0;
      std::copy(kApAddress.begin(), kApAddress.end(), core->Bssid.begin());
      core->CurrentSsid = Ssid{4, {'h', 'o', 'm', 'e'}};
      core->Frequency = ChannelFrequency(6);
      core->Privacy = 0;
    });
  }
};

TEST_F(BssTable, ABeaconBecomesAnEntryWithItsElementsKept) {
  TestBeacon beacon = TestBeacon::Typical("home", 6);
  beacon.capability = 0x0011;  // ESS, privacy
  beacon.interval = 250;
  const Bytes rsn = {1, 0, 0x00, 0x0F, 0xAC, 4, 1, 0, 0x00, 0x0F, 0xAC, 4, 1, 0, 0x00, 0x0F, 0xAC, 2, 0, 0};
  const Bytes ccx = {0x00, 0x40, 0x96, 0x01, 0x01, 0x00};
  const Bytes maker = {0x02, 0x5A, 0x9C, 0x00, 0x00, 0x00, 0x01};
  beacon.element(48, rsn).element(221, ccx).element(221, maker).element(7, {'U', 'S', ' '});
  EXPECT_EQ(receive(beacon.chipFrame(), -61), 0u);
  EXPECT_EQ(testing::ChipLayerRecorder::returned.size(), 1u);

  ASSERT_EQ(table().Count, 1u);
  const NDIS_WLAN_BSSID& entry = table().Entries[0];
  EXPECT_EQ(entry.Length, 104u);
  EXPECT_EQ(Bytes(entry.MacAddress, entry.MacAddress + 6), Bytes(kApAddress.begin(), kApAddress.end()));
  EXPECT_EQ(ssidOf(entry), "home");
  EXPECT_EQ(entry.Privacy, 1u);
  EXPECT_EQ(entry.Rssi, -61);
  EXPECT_EQ(entry.NetworkTypeInUse, Ndis802_11OFDM24);
  EXPECT_EQ(entry.InfrastructureMode, Ndis802_11Infrastructure);
  EXPECT_EQ(entry.Configuration.BeaconPeriod, 250u);
  EXPECT_EQ(entry.Configuration.DSConfig, 2437000u);
  EXPECT_EQ(Bytes(entry.SupportedRates, entry.SupportedRates + 8),
            (Bytes{0x82, 0x84, 0x8B, 0x96, 0x0C, 0x12, 0x18, 0x24}));

  const BssRecord& bss = core->Bss[0];
  EXPECT_EQ(bss.Elements.Channel, 6);
  EXPECT_EQ(bss.Elements.Capability, 0x0011);
  EXPECT_EQ(Bytes(bss.Elements.Rates, bss.Elements.Rates + 14),
            (Bytes{0x82, 0x84, 0x8B, 0x96, 0x0C, 0x12, 0x18, 0x24, 0x30, 0x48, 0x60, 0x6C, 0, 0}));
  EXPECT_EQ(Bytes(bss.Elements.Ccx, bss.Elements.Ccx + 8), (Bytes{221, 6, 0x00, 0x40, 0x96, 0x01, 0x01, 0x00}));
  EXPECT_EQ(bss.Elements.MakerPresent, 1);
  EXPECT_EQ(Bytes(bss.Elements.Maker, bss.Elements.Maker + 9), (Bytes{221, 7, 0x02, 0x5A, 0x9C, 0, 0, 0, 0x01}));
  EXPECT_EQ(Bytes(bss.BeaconTimestamp, bss.BeaconTimestamp + 8), (Bytes{8, 7, 6, 5, 4, 3, 2, 1}));

  // The element block: the fixed fields, then every accepted element (the country element,
  // 7, is not one).
  const Bytes frame = beacon.chipFrame();
  const Bytes body(frame.begin() + kChipHeaderBytes, frame.end());
  ASSERT_EQ(bss.BlockLength, body.size() - 5);
  EXPECT_TRUE(std::equal(body.begin(), body.end() - 5, bss.Block));
}

TEST_F(BssTable, FramesTheStationCannotTakeLeaveTheTableAlone) {
  struct Case {
    const char* name;
    TestBeacon beacon;
    bool scanning;
    bool dwell;
    std::uint8_t dwellChannel;
    bool entered;
  };
  TestBeacon longSsid;
  longSsid.ssid(std::string(33, 'x')).channel(6);
  TestBeacon noFixedFields;
  noFixedFields.elements.clear();
  const Case cases[] = {
      {"a 33-byte SSID", longSsid, false, false, 0, false},
      {"heard on channel 6 during the dwell on 5", TestBeacon::Typical("a", 6), true, true, 5, false},
      {"heard on channel 5 during the dwell on 5", TestBeacon::Typical("a", 5), true, true, 5, true},
      {"heard between two dwells of a scan", TestBeacon::Typical("a", 5), true, false, 5, false},
      {"heard outside a scan", TestBeacon::Typical("a", 11), false, false, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    h.run([&] {
      ClearBssTable(core);
      core->Flags = c.scanning ? kFlagScanning : 0;
      core->DwellPending = c.dwell;
      core->ScanIndex = 0;
      core->ScanChannels[0] = c.dwellChannel;
    });
    EXPECT_EQ(receive(c.beacon.chipFrame()), 0u);
    EXPECT_EQ(table().Count, c.entered ? 1u : 0u);
  }
  Bytes tooShort = TestBeacon::Typical("a", 6).chipFrame();
  tooShort.resize(kChipHeaderBytes + 11);
  tooShort[0] = 11;
  tooShort[1] = 0;
  h.run([&] {
    ClearBssTable(core);
    core->Flags = 0;
    core->DwellPending = false;
  });
  EXPECT_EQ(receive(tooShort), 0u);
  EXPECT_EQ(table().Count, 0u);
}

TEST_F(BssTable, OnlyAChannelTheRegionOrTheChannelRangeAllowsGivesTheFrequency) {
  struct Case {
    std::uint32_t region;
    std::uint32_t range;
    std::uint8_t channel;
    bool allowed;
  };
  const Case cases[] = {
      {3, 0, 10, true}, {3, 0, 6, false},       {5, 0, 14, true},       {1, 0, 14, false},
      {1, 0, 0, false}, {5, 0, 15, false},      {0, 0x0305, 4, true},   {0, 0x0305, 6, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "region " << c.region << " range " << c.range << " channel " << int(c.channel));
    h.run([&] {
      ClearBssTable(core);
      core->Hal->spec.regionIndex = c.region;
      core->Config.channelRange = c.range;
      FillScanChannels(core->ScanChannels, c.range, c.region);
      EXPECT_EQ(IsChannelAllowed(core, c.channel), c.allowed);
    });
    receive(TestBeacon::Typical("a", c.channel).chipFrame());
    ASSERT_EQ(table().Count, 1u);
    EXPECT_EQ(table().Entries[0].Configuration.DSConfig, c.allowed ? ChannelFrequency(c.channel) : 0u);
    EXPECT_EQ(core->Bss[0].Elements.Channel, c.allowed ? c.channel : 0);
  }
}

TEST_F(BssTable, BeaconsAreIgnoredWhileWaitingForAResponseButProbeResponsesAreNot) {
  h.run([&] { core->MlmeState = 1; });
  EXPECT_EQ(receive(TestBeacon::Typical("a", 6).chipFrame()), 0u);
  EXPECT_EQ(table().Count, 0u);
  TestBeacon response = TestBeacon::Typical("a", 6);
  response.subtype = 5;
  EXPECT_EQ(receive(response.chipFrame()), 0u);
  ASSERT_EQ(table().Count, 1u);
  EXPECT_EQ(Bytes(core->Bss[0].ProbeResponseTimestamp, core->Bss[0].ProbeResponseTimestamp + 8),
            (Bytes{8, 7, 6, 5, 4, 3, 2, 1}));
}

TEST_F(BssTable, SignalIsClampedAtMinusThirtyAndBlendedTowardsTheStronger) {
  receive(TestBeacon::Typical("a", 6).chipFrame(), -20);
  EXPECT_EQ(table().Entries[0].Rssi, -30);
  EXPECT_EQ(core->LastRssi, -30);
  receive(TestBeacon::Typical("a", 6).chipFrame(), -70);
  EXPECT_EQ(table().Entries[0].Rssi, (-30 * 3 + -70) / 4);
  receive(TestBeacon::Typical("a", 6).chipFrame(), -40);
  EXPECT_EQ(table().Entries[0].Rssi, (-40 * 3 + -40) / 4);
  EXPECT_EQ(table().Count, 1u);
}

TEST_F(BssTable, AFullTableTakesNoNewNetworkButRefreshesKnownOnes) {
  for (int i = 0; i < 256; ++i) {
    TestBeacon beacon = TestBeacon::Typical("n" + std::to_string(i), 6);
    beacon.bssid = {0x00, 0x0C, 0x41, 0x00, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)};
    receive(beacon.chipFrame());
  }
  EXPECT_EQ(table().Count, kMaxBss);
  EXPECT_EQ(FindBss(core, Bytes{0x00, 0x0C, 0x41, 0x00, 0x01, 0x00}.data()), -1);  // the 256th
  TestBeacon renamed = TestBeacon::Typical("renamed", 6);
  renamed.bssid = {0x00, 0x0C, 0x41, 0x00, 0x00, 0x07};
  receive(renamed.chipFrame());
  EXPECT_EQ(ssidOf(table().Entries[7]), "renamed");
}

TEST_F(BssTable, TheTimTellsWhetherTrafficWaitsForTheStation) {
  struct Case {
    std::uint16_t aid;
    Bytes tim;
    std::uint8_t pending;
  };
  const Case cases[] = {
      {1, {0, 3, 0x00, 0x02}, 1},          // AID 1: bit 1 of byte 0
      {1, {0, 3, 0x00, 0x01}, 0},          // only group traffic
      {17, {0, 3, 0x02, 0x02}, 1},         // bitmap from byte 2: AID 17 is bit 1 of its first byte
      {17, {0, 3, 0x04, 0xFF}, 0},         // bitmap from byte 4: AID 17 lies before it
      {40, {0, 3, 0x00, 0xFF, 0xFF}, 0},   // AID 40 lies after it
      {0, {0, 3, 0x00, 0xFF}, 0},          // not associated
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.aid);
    TestBeacon beacon;
    beacon.ssid("a").channel(6).element(5, c.tim);
    h.run([&] { core->AssociationId = static_cast<std::uint16_t>(0xC000 | c.aid); });
    receive(beacon.chipFrame());
    EXPECT_EQ(core->Bss[0].Elements.TrafficPending, c.pending);
    EXPECT_EQ(core->Bss[0].Elements.DtimPeriod, 3);
  }
}

TEST_F(BssTable, TheAssociatedNetworksBeaconsKeepTheLinkMonitorWaiting) {
  associate();
  h.advance(std::chrono::milliseconds(350));
  EXPECT_EQ(core->Link.MissedBeacons, 3);
  TestBeacon hidden = TestBeacon::Typical("", 6);  // it hides its name: still the current network
  receive(hidden.chipFrame(), -55);
  EXPECT_EQ(core->Link.MissedBeacons, 0);
  EXPECT_EQ(core->Link.BeaconsReceived, 1u);
  EXPECT_EQ(core->LinkRssi, -55);
  EXPECT_EQ(ssidOf(table().Entries[0]), "home");  // the current SSID stands in for the hidden one

  // Beacons every 100 ms re-arm the monitor at 150 ms: it never ticks.
  for (int i = 0; i < 10; ++i) {
    h.advance(std::chrono::milliseconds(100));
    receive(hidden.chipFrame());
  }
  EXPECT_EQ(core->Link.MissedBeacons, 0);
  EXPECT_EQ(core->Link.BeaconsReceived, 11u);

  TestBeacon other = TestBeacon::Typical("home", 6);
  other.bssid = kOtherAp;
  receive(other.chipFrame());
  TestBeacon elsewhere = TestBeacon::Typical("home", 11);  // same BSSID, another channel
  receive(elsewhere.chipFrame());
  EXPECT_EQ(core->Link.BeaconsReceived, 11u);
  h.advance(std::chrono::milliseconds(150));
  EXPECT_EQ(core->Link.MissedBeacons, 1);
}

TEST_F(BssTable, TheShadowIsACopyTakenWhenNoQueryHoldsIt) {
  receive(TestBeacon::Typical("a", 6).chipFrame());
  const auto& shadow = *reinterpret_cast<const BssTableData*>(core->ShadowBssTable);
  EXPECT_EQ(shadow.Count, 0u);
  h.run([&] { CopyBssTableToShadow(core); });
  EXPECT_EQ(shadow.Count, 1u);
  EXPECT_EQ(0, std::memcmp(&shadow.Entries[0], &table().Entries[0], sizeof(NDIS_WLAN_BSSID)));
  EXPECT_EQ(core->Head.Container->Context->BssCopyBusy, 0);

  // A query that never lets go delays the copy by at most about a second, not for ever.
  TestBeacon second = TestBeacon::Typical("b", 6);
  second.bssid = kOtherAp;
  second.element(221, {0x02, 0x5A, 0x9C, 0x00, 0x00, 0x01});  // the maker's element: Auto Link offered
  receive(second.chipFrame());
  const auto before = h.scheduler.now();
  h.run([&] {
    core->Head.Container->Context->BssCopyBusy = 1;
    CopyBssTableToShadow(core);
  });
  EXPECT_EQ(shadow.Count, 2u);
  // Beside each entry the extra record the utility reads: the maker's element, when there is one.
  EXPECT_EQ(core->ShadowBssExtras[0][0], 0);
  EXPECT_EQ(Bytes(core->ShadowBssExtras[1], core->ShadowBssExtras[1] + 10),
            (Bytes{1, 221, 6, 0x02, 0x5A, 0x9C, 0x00, 0x00, 0x01, 0}));
  EXPECT_EQ(core->Head.Container->Context->BssCopyBusy, 1);
  EXPECT_NEAR(std::chrono::duration<double>(h.scheduler.now() - before).count(), 19999 * 50e-6, 0.01);
  core->Head.Container->Context->BssCopyBusy = 0;
  uint16_t capability = 0;
  h.run([&] {
    std::copy(kApAddress.begin(), kApAddress.end(), core->Bssid.begin());
    EXPECT_TRUE(CurrentBssCapability(core, capability));
  });
  EXPECT_EQ(capability, 0x0001);
}

}  // namespace
}  // namespace zelnic::core
