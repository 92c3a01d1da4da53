// CCX radio measurement and the reports after a roam, through the whole driver: a CCX access
// point of the simulated air asks the associated station for measurements with IAPP frames,
// the chip measures what the air carries, and the access point checks the reports it gets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "driver/core/mlme.h"
#include "driver/core/on_air/air_station.h"
#include "driver/entry/testing/ioctl_words.h"
#include "driver/ndis/control_device.h"
#include "driver/ndis/private_oids.h"
#include "driver/ndis/status_codes.h"
#include "driver/core/station_state.h"
#include "sim/air/association_security.h"
#include "sim/air/ccx_access_point.h"
#include "sim/air/distribution_port.h"

namespace zelnic::core::testing {
namespace {

using namespace std::chrono_literals;

const std::string kCcxAp = "ap ccx\n bssid 02:40:96:00:00:01\n ssid CcxNet\n channel 6\n signal -50\n ccx 4\n";
const std::string kNeighbour = "ap other\n bssid 02:40:96:00:00:02\n ssid Other\n channel 6\n signal -60\n";

class CcxMeasurement : public AirStation {
 protected:
  void TearDown() override {
    ccx = nullptr;  // the world's, gone with it
    AirStation::TearDown();
  }
  void Connect() {
    ccx = world->ccxPeer(0);
    ASSERT_EQ(SetSsid("CcxNet").status, NDIS_STATUS_SUCCESS);
    ASSERT_EQ(core->MlmeState, kMlmeAssociated);
  }
  // Sends the request now; the time it went out.
  std::int64_t Ask(std::uint16_t dialog, const std::vector<simair::CcxMeasurementAsk>& asks,
                   std::uint8_t activationDelay = 0) {
    std::int64_t at = 0;
    h.run([&] {
      at = h.scheduler.now().count();
      EXPECT_TRUE(ccx->requestMeasurements(StationAddress(), dialog, activationDelay, 0, asks));
    });
    return at;
  }
  // The frames matching `filter` that the air carried from `sinceMicros` on.
  std::vector<std::string> FramesSince(const std::string& filter, std::int64_t sinceMicros) {
    std::vector<std::string> found;
    for (const auto& row : Dissect(pcapPath, filter, {"frame.time_epoch", "wlan.fc.type_subtype"})) {
      const auto parts = SplitRow(row);
      if (parts.size() >= 2 && std::stod(parts[1]) * 1e6 >= static_cast<double>(sinceMicros)) found.push_back(row);
    }
    return found;
  }
  simair::CcxAccessPoint* ccx = nullptr;  // the CCX peer the world gave the access point
};

TEST_F(CcxMeasurement, AChannelLoadRequestOnTheCurrentChannelIsAnsweredAfterItsDuration) {
  StartWorld(kCcxAp, "ccx_load");
  Connect();
  const std::int64_t asked = Ask(0x1234, {{7, 0, 1, 6, 0, 200}});
  Advance(300ms);
  ASSERT_EQ(ccx->reports().size(), 1u);
  const auto& report = ccx->reports()[0];
  EXPECT_TRUE(report.wellFormed);
  EXPECT_EQ(report.dialogToken, 0x1234);
  // 200 TU are 204 ms; the frames cross the air in well under 10 ms more.
  EXPECT_GE(report.atMicros - asked, 204'000);
  EXPECT_LT(report.atMicros - asked, 215'000);
  ASSERT_EQ(report.elements.size(), 1u);
  const auto& e = report.elements[0];
  EXPECT_EQ(e.token, 7);
  EXPECT_EQ(e.type, 1);
  EXPECT_EQ(e.channel, 6);
  EXPECT_EQ(e.durationTu, 200);
  ASSERT_EQ(e.fields.size(), 1u);
  // Two beacons of about 1 ms at 1 Mbit/s in 204 ms: a load of a few 255ths, not zero.
  EXPECT_GT(e.fields[0], 0);
  EXPECT_LT(e.fields[0], 10);
  // tshark reads the request and the report as LLC/SNAP with Cisco's OUI.
  const auto rows = Dissect(pcapPath, "llc.oui == 0x004096", {"wlan.fc.ds"});
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(SplitRow(rows[0])[1], "0x02") << rows[0];  // from the distribution system
  EXPECT_EQ(SplitRow(rows[1])[1], "0x01") << rows[1];  // to it
}

TEST_F(CcxMeasurement, ANoiseHistogramCountsTheAirtimeOfEachPowerRange) {
  StartWorld(kCcxAp + kNeighbour);
  Connect();
  Ask(2, {{1, 0, 2, 6, 0, 100}, {2, 0, 1, 6, 0, 100}});
  Advance(400ms);
  ASSERT_EQ(ccx->reports().size(), 1u);
  const auto& report = ccx->reports()[0];
  EXPECT_TRUE(report.wellFormed);
  ASSERT_EQ(report.elements.size(), 2u);  // both results share one report
  const auto& histogram = report.elements[0];
  EXPECT_EQ(histogram.type, 2);
  ASSERT_EQ(histogram.fields.size(), 8u);
  // The access point's beacons come in at -50 dBm (range 7), the neighbour's at -60 (range 6);
  // the quiet rest is below the lowest range.
  EXPECT_GT(histogram.fields[7], 0);
  EXPECT_GT(histogram.fields[6], 0);
  EXPECT_GT(histogram.fields[0], 240);
  for (int range = 1; range <= 5; ++range) EXPECT_EQ(histogram.fields[range], 0) << range;
  EXPECT_EQ(report.elements[1].type, 1);
}

TEST_F(CcxMeasurement, ABeaconTableRequestReportsEveryAccessPointOfTheChannelAtOnce) {
  StartWorld(kCcxAp + kNeighbour);
  Connect();
  Advance(300ms);  // both access points beaconed into the table
  const std::int64_t asked = Ask(3, {{5, 0, 3, 6, 2, 50}});
  Advance(50ms);
  ASSERT_EQ(ccx->reports().size(), 1u);
  const auto& report = ccx->reports()[0];
  EXPECT_TRUE(report.wellFormed);
  EXPECT_LT(report.atMicros - asked, 10'000);  // from the table: no measuring time
  ASSERT_EQ(report.elements.size(), 2u);
  std::vector<std::uint8_t> lastBssidBytes;
  for (const auto& e : report.elements) {
    EXPECT_EQ(e.type, 3);
    EXPECT_EQ(e.channel, 6);
    ASSERT_GE(e.fields.size(), 24u);
    EXPECT_EQ(e.fields[0], 6);  // OFDM rates offered
    lastBssidBytes.push_back(e.fields[2 + 5]);
    // The copied elements start with the SSID element.
    ASSERT_GE(e.fields.size(), 26u);
    EXPECT_EQ(e.fields[24], 0);
  }
  std::sort(lastBssidBytes.begin(), lastBssidBytes.end());
  EXPECT_EQ(lastBssidBytes, (std::vector<std::uint8_t>{1, 2}));
  // The RSSI byte is dBm + 20: -50 dBm is 226 as a byte (-30).
  const auto& own = report.elements[0].fields[7] == 1 ? report.elements[0] : report.elements[1];
  EXPECT_EQ(static_cast<std::int8_t>(own.fields[1]), -30);
}

struct IgnoredCase {
  const char* name;
  std::vector<simair::CcxMeasurementAsk> asks;
  simair::MacAddress destination;
};

class CcxIgnored : public CcxMeasurement, public ::testing::WithParamInterface<IgnoredCase> {};

TEST_P(CcxIgnored, NothingIsAnswered) {
  StartWorld(kCcxAp);
  Connect();
  const IgnoredCase& c = GetParam();
  h.run([&] { ccx->requestMeasurements(StationAddress(), 9, 0, 0, c.asks, c.destination); });
  Advance(1s);
  EXPECT_TRUE(ccx->reports().empty());
  EXPECT_EQ(h.chip.firmware().settings().channel, 6);  // the station stayed on its channel
  EXPECT_EQ(core->MlmeState, kMlmeAssociated);
}

const IgnoredCase kIgnoredCases[] = {
    {"addressed", {{1, 0, 1, 6, 0, 100}}, {0x02, 0, 0, 0, 0, 1}},
    {"long and off the channel", {{1, 0, 1, 11, 0, 250}}, {}},
    {"only skipped types", {{1, 0, 4, 6, 0, 100}}, {}},
};

INSTANTIATE_TEST_SUITE_P(Table, CcxIgnored, ::testing::ValuesIn(kIgnoredCases),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST_F(CcxMeasurement, AShortMeasurementOffTheChannelSwitchesThereAndBack) {
  StartWorld(kCcxAp + "ap far\n bssid 02:40:96:00:00:0b\n ssid Far\n channel 11\n signal -40\n");
  Connect();
  Ask(4, {{1, 0, 1, 11, 0, 100}});
  Advance(60ms);
  EXPECT_EQ(h.chip.firmware().settings().channel, 11);
  Advance(200ms);
  EXPECT_EQ(h.chip.firmware().settings().channel, 6);
  ASSERT_EQ(ccx->reports().size(), 1u);
  ASSERT_EQ(ccx->reports()[0].elements.size(), 1u);
  EXPECT_EQ(ccx->reports()[0].elements[0].channel, 11);
  EXPECT_GT(ccx->reports()[0].elements[0].fields[0], 0);  // the far access point's beacon
  EXPECT_EQ(core->MlmeState, kMlmeAssociated);
}

// Channel 11 changes after the station's connection scan: `gone` falls silent and `late`
// starts beaconing, so only a scan of the channel tells what is there now.
const std::string kChannel11Changes =
    "ap gone\n bssid 02:40:96:00:00:0c\n ssid Gone\n channel 11\n signal -45\n"
    "ap late\n bssid 02:40:96:00:00:0d\n ssid Late\n channel 11\n signal -55\n"
    "at 0s late off\nat 1s gone off\nat 1s late on\n";

struct BeaconScanCase {
  const char* name;
  std::uint8_t scanMode;  // 0 passive, 1 active
  std::int64_t listensMicros;  // the duration (150 TU) when passive, 210 ms when active
};

class CcxBeaconScan : public CcxMeasurement, public ::testing::WithParamInterface<BeaconScanCase> {};

// A beacon request in a scan mode listens on its channel and reports what it heard there,
// with the chip's time when the measurement began as each BSS's parent TSF.
TEST_P(CcxBeaconScan, ReportsWhatTheScanOfTheChannelHeard) {
  const BeaconScanCase& c = GetParam();
  StartWorld(kCcxAp + kChannel11Changes, std::string("ccx_beacon_scan_") + std::to_string(c.scanMode));
  Connect();
  ASSERT_EQ(SetWord(OID_HLVN_CCX_FLAGS, 4).status, NDIS_STATUS_SUCCESS);
  Advance(2s);
  const std::int64_t asked = Ask(6, {{3, 0, 3, 11, c.scanMode, 150}});
  Advance(400ms);
  ASSERT_EQ(ccx->reports().size(), 1u);
  const auto& report = ccx->reports()[0];
  EXPECT_TRUE(report.wellFormed);
  EXPECT_GE(report.atMicros - asked, c.listensMicros);
  EXPECT_LT(report.atMicros - asked, c.listensMicros + 15'000);
  ASSERT_EQ(report.elements.size(), 1u);  // `late` only: `gone` is silent now
  const auto& e = report.elements[0];
  EXPECT_EQ(e.type, 3);
  EXPECT_EQ(e.channel, 11);
  ASSERT_GE(e.fields.size(), 24u);
  EXPECT_EQ(e.fields[2 + 5], 0x0d);  // its BSSID's last byte
  const std::uint32_t parentTsf = e.fields[8] | e.fields[9] << 8 | e.fields[10] << 16 | e.fields[11] << 24;
  EXPECT_GE(parentTsf, static_cast<std::uint32_t>(asked));
  EXPECT_LT(parentTsf, static_cast<std::uint32_t>(asked + 5'000));
  // The measurement leaves the utility's CCX flags alone, and the station at home.
  ULONG flags = 0;
  const auto answer = Query(OID_HLVN_CCX_FLAGS, 4);
  ASSERT_EQ(answer.data.size(), 4u);
  std::memcpy(&flags, answer.data.data(), 4);
  EXPECT_EQ(flags, 4u);
  EXPECT_EQ(h.chip.firmware().settings().channel, 6);
  EXPECT_EQ(core->MlmeState, kMlmeAssociated);
  // An active scan asks the channel with broadcast probe requests; a passive one only listens.
  const auto probes = FramesSince("wlan.fc.type_subtype == 4 && radiotap.channel.freq == 2462", asked);
  EXPECT_EQ(probes.empty(), c.scanMode == 0);
}

const BeaconScanCase kBeaconScanCases[] = {
    {"passive", 0, 153'600},
    {"active", 1, 210'000},
};

INSTANTIATE_TEST_SUITE_P(Table, CcxBeaconScan, ::testing::ValuesIn(kBeaconScanCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A connection the host asks for while a beacon measurement scans is not lost: the station
// leaves its network, the measurement is called off, and the scan's end carries on with the
// connection.
TEST_F(CcxMeasurement, AConnectionAskedForDuringABeaconScanGoesOn) {
  StartWorld(kCcxAp + kChannel11Changes);
  Connect();
  Ask(10, {{3, 0, 3, 11, 0, 200}});
  Advance(50ms);
  ASSERT_NE(core->Flags & kFlagScanning, 0u);
  EXPECT_EQ(SetSsid("CcxNet").status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(core->MlmeState, kMlmeAssociated);
  Advance(500ms);
  EXPECT_TRUE(ccx->reports().empty());
}

// Two beacon-table requests in turn: each report carries the chip's time of its own
// measurement, not the one before.
TEST_F(CcxMeasurement, EachBeaconTableReportCarriesTheTimeOfItsOwnMeasurement) {
  StartWorld(kCcxAp);
  Connect();
  Advance(300ms);
  std::vector<std::int64_t> asked;
  for (std::uint16_t dialog : {7, 8}) {
    asked.push_back(Ask(dialog, {{1, 0, 3, 6, 2, 50}}));
    Advance(500ms);
  }
  ASSERT_EQ(ccx->reports().size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(ccx->reports()[i].elements.size(), 1u);
    const auto& f = ccx->reports()[i].elements[0].fields;
    ASSERT_GE(f.size(), 12u);
    const std::uint32_t parentTsf = f[8] | f[9] << 8 | f[10] << 16 | f[11] << 24;
    EXPECT_GE(parentTsf, static_cast<std::uint32_t>(asked[i]));
    EXPECT_LT(parentTsf, static_cast<std::uint32_t>(asked[i] + 5'000));
  }
}

// While it measures on another channel the station sends nothing there: the host's frame
// and the core's own (an adjacent-AP list) wait and reach the access point once it is back.
TEST_F(CcxMeasurement, TrafficWaitsWhileTheStationMeasuresOnAnotherChannel) {
  StartWorld(kCcxAp + "ap far\n bssid 02:40:96:00:00:0b\n ssid Far\n channel 11\n signal -40\n", "ccx_away");
  Connect();
  simair::DistributionPort* port = world->distributionPort(0);
  // A record for the adjacent-AP list (listing it leaves the network; the station joins again).
  std::vector<std::uint8_t> record(24, 0);
  record[2] = 3;
  record[9] = 0x77;
  ASSERT_EQ(h.host->set(OID_HLVN_CCX_AP_LIST, record).status, NDIS_STATUS_SUCCESS);
  ASSERT_EQ(SetSsid("CcxNet").status, NDIS_STATUS_SUCCESS);
  ASSERT_EQ(core->MlmeState, kMlmeAssociated);
  while (port->take()) {
  }

  const std::int64_t asked = Ask(9, {{1, 0, 1, 11, 0, 100}});
  Advance(30ms);
  ASSERT_EQ(h.chip.firmware().settings().channel, 11);
  const simair::MacAddress station = StationAddress();
  ndis::EthFrame frame = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
  frame.insert(frame.end(), station.begin(), station.end());
  frame.insert(frame.end(), {0x08, 0x00});
  frame.resize(14 + 64, 0xA5);
  (void)h.host->send({frame});
  ASSERT_EQ(h.host->set(OID_HLVN_CCX_SEND_AP_REPORT, std::vector<std::uint8_t>(4, 0)).status, NDIS_STATUS_SUCCESS);
  Advance(20ms);
  EXPECT_FALSE(port->take().has_value());
  EXPECT_TRUE(ccx->apLists().empty());

  Advance(200ms);
  EXPECT_EQ(h.chip.firmware().settings().channel, 6);
  std::size_t hostFrames = 0;
  while (const auto delivered = port->take()) hostFrames += delivered->payload == ndis::EthFrame(frame.begin() + 14, frame.end());
  EXPECT_EQ(hostFrames, 1u);
  EXPECT_EQ(ccx->apLists().size(), 1u);
  ASSERT_EQ(ccx->reports().size(), 1u);
  const auto completions = h.host->takeSendCompletions();
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0].status, NDIS_STATUS_SUCCESS);
  // Nothing of the station's went out on channel 11 (2462 MHz).
  const auto away = FramesSince("wlan.ta == " + MacText(station) + " && radiotap.channel.freq == 2462", asked);
  EXPECT_TRUE(away.empty()) << away.front();
  EXPECT_FALSE(FramesSince("wlan.ta == " + MacText(station) + " && radiotap.channel.freq == 2437", asked).empty());
}

TEST_F(CcxMeasurement, AnActivationDelayWaitsABeaconIntervalFirst) {
  StartWorld(kCcxAp);
  Connect();
  const std::int64_t asked = Ask(5, {{1, 0, 1, 6, 0, 100}}, 1);
  Advance(300ms);
  ASSERT_EQ(ccx->reports().size(), 1u);
  // 90 ms (beacon interval less 10) before the 102 ms measurement.
  EXPECT_GE(ccx->reports()[0].atMicros - asked, 192'000);
  EXPECT_LT(ccx->reports()[0].atMicros - asked, 205'000);
}

}  // namespace
}  // namespace zelnic::core::testing

namespace zelnic::core::testing {
namespace {

// After a roam between two CCX access points of one SSID, the new one hears about the old.
TEST_F(CcxMeasurement, ARoamToAnotherCcxAccessPointReportsThePreviousOne) {
  const std::string a = "ap a\n bssid 02:40:96:00:00:0a\n ssid CcxNet\n channel 6\n signal -50\n ccx 4\n";
  const std::string b = "ap b\n bssid 02:40:96:00:00:0b\n ssid CcxNet\n channel 1\n signal -90\n ccx 4\n";
  StartWorld(a + b + "at 2s a signal -80\nat 2s b signal -45\n");
  ccx = world->ccxPeer(1);
  const simair::CcxAccessPoint& newAp = *ccx;
  h.run([&] { core->Config.signalThreshold = -70; });
  ASSERT_EQ(SetSsid("CcxNet").status, NDIS_STATUS_SUCCESS);
  ASSERT_EQ(core->Bssid, Ap(0).config().bssid);
  Advance(32s);
  ASSERT_EQ(core->Bssid, Ap(1).config().bssid);
  ASSERT_EQ(newAp.adjacentReports().size(), 1u);
  const auto& report = newAp.adjacentReports()[0];
  EXPECT_EQ(report.station, StationAddress());
  EXPECT_EQ(report.previousBssid, Ap(0).config().bssid);
  EXPECT_EQ(report.channel, 6);
  EXPECT_EQ(std::string(report.ssid.begin(), report.ssid.end()), "CcxNet");
}

}  // namespace
}  // namespace zelnic::core::testing

namespace zelnic::core::testing {
namespace {

// Two CCX access points of one network that offers the CCKM AKM (a WPA element naming
// 00-40-96-00); the station starts with `a`, whose signal fades at 2 s while `b`'s rises.
const std::string kCckmAkm =
    " vendor 00:50:f2:01:01:00:00:50:f2:02:01:00:00:50:f2:02:01:00:00:40:96:00\n";
const std::string kCckmWorld =
    "ap a\n bssid 02:40:96:00:00:0a\n ssid CcxNet\n channel 6\n signal -50\n ccx 4\n" + kCckmAkm +
    "ap b\n bssid 02:40:96:00:00:0b\n ssid CcxNet\n channel 1\n signal -90\n ccx 4\n" + kCckmAkm +
    "at 2s a signal -80\nat 2s b signal -45\n";

enum class HostAnswer { Element, Nothing, Cancel };

struct CckmCase {
  const char* name;
  HostAnswer answer;
  bool carriesElement;  // what the reassociation request carries
  std::chrono::milliseconds sentAfter;  // from the request to the host
};

class Cckm : public CcxMeasurement, public ::testing::WithParamInterface<CckmCase> {
 protected:
  // Lets time pass until the station asks the host for a CCKM element; false when it never does.
  bool AwaitCckmRequest(std::vector<std::uint8_t>& request) {
    for (int step = 0; step < 3000; ++step) {
      Advance(10ms);
      for (const auto& s : h.host->takeStatus()) {
        if (s.status != NDIS_STATUS_HLVN_CCKM_REQUEST) continue;
        request = s.payload;
        return true;
      }
    }
    return false;
  }
};

// A roam to another access point of a CCKM network reassociates: the station asks the host
// for a CCKM element, waits at most 500 ms for it, and reassociates with it or without it.
TEST_P(Cckm, ARoamReassociatesWithTheHostsElementOrWithoutItAfter500Ms) {
  const CckmCase& c = GetParam();
  StartWorld(kCckmWorld, std::string("cckm_roam_") + std::to_string(static_cast<int>(c.answer)));
  ccx = world->ccxPeer(1);
  h.run([&] { core->Config.signalThreshold = -70; });
  ASSERT_EQ(SetWord(OID_HLVN_CCX_FLAGS, 4).status, NDIS_STATUS_SUCCESS);
  ASSERT_EQ(SetSsid("CcxNet").status, NDIS_STATUS_SUCCESS);
  ASSERT_EQ(core->Bssid, Ap(0).config().bssid);
  for (const auto& s : h.host->takeStatus()) EXPECT_NE(s.status, NDIS_STATUS_HLVN_CCKM_REQUEST);
  const auto utility = AttachUtility();
  ASSERT_TRUE(utility);

  std::vector<std::uint8_t> request;
  ASSERT_TRUE(AwaitCckmRequest(request));
  const auto target = Ap(1).config().bssid;
  ASSERT_EQ(request.size(), 14u);  // the target's timestamp, its BSSID
  EXPECT_TRUE(std::equal(target.begin(), target.end(), request.begin() + 8));
  const auto events = ReadUtilityEventRing(*utility);
  const auto event = std::find_if(events.begin(), events.end(), [](const auto& e) { return e.code == 136; });
  ASSERT_NE(event, events.end());
  EXPECT_EQ(event->payload, request);
  EXPECT_TRUE(ccx->reassociationsWithCckm().empty());

  const std::vector<std::uint8_t> element = {156, 6, 0x00, 0x40, 0x96, 0x00, 1, 2};
  switch (c.answer) {
    case HostAnswer::Element: {
      Advance(100ms);
      std::vector<std::uint8_t> record = {1, 0, 0, 0, static_cast<std::uint8_t>(element.size()), 0, 0, 0};
      record.insert(record.end(), element.begin(), element.end());
      ASSERT_EQ(h.host->set(OID_HLVN_CCX_CCKM_ELEMENT, record).status, NDIS_STATUS_SUCCESS);
      break;
    }
    case HostAnswer::Cancel:
      Advance(100ms);
      ASSERT_EQ(h.host->set(OID_HLVN_CCX_CCKM_CANCEL, std::vector<std::uint8_t>(4, 0)).status, NDIS_STATUS_SUCCESS);
      break;
    case HostAnswer::Nothing:
      Advance(c.sentAfter - 20ms);
      EXPECT_TRUE(ccx->reassociationsWithCckm().empty());
      break;
  }
  Advance(30ms);
  ASSERT_EQ(ccx->reassociationsWithCckm().size(), 1u);
  EXPECT_EQ(ccx->reassociationsWithCckm()[0], c.carriesElement);
  Advance(100ms);
  EXPECT_EQ(core->MlmeState, kMlmeAssociated);
  EXPECT_EQ(core->Bssid, target);
  // The new access point hears about the old one.
  ASSERT_EQ(ccx->adjacentReports().size(), 1u);
  EXPECT_EQ(ccx->adjacentReports()[0].previousBssid, Ap(0).config().bssid);
  h.host->closeDevice(*utility);

  // On the air: no deauthentication left the old access point, and the reassociation names
  // it as the current access point (with the element when the host gave one).
  EXPECT_TRUE(Dissect(pcapPath, "wlan.fc.type_subtype == 12", {"wlan.sa"}).empty());
  const auto reassociations = Dissect(pcapPath, "wlan.fc.type_subtype == 2", {"wlan.fixed.current_ap"});
  ASSERT_EQ(reassociations.size(), 1u);
  EXPECT_EQ(SplitRow(reassociations[0])[1], MacText(Ap(0).config().bssid)) << reassociations[0];
}

const CckmCase kCckmCases[] = {
    {"the host's element", HostAnswer::Element, true, 100ms},
    {"the wait ends", HostAnswer::Nothing, false, 500ms},
    {"the host cancels", HostAnswer::Cancel, false, 100ms},
};

INSTANTIATE_TEST_SUITE_P(Table, Cckm, ::testing::ValuesIn(kCckmCases),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

// A WPA 802.1X association with an access point that offers CCKM beside 802.1X names CCKM's
// AKM once the host says it does CCKM (CCX flags bit 2), and 802.1X's otherwise.
struct AkmCase {
  const char* name;
  std::uint32_t ccxFlags;
  bool namesCckm;
};

class CckmAkm : public CcxMeasurement, public ::testing::WithParamInterface<AkmCase> {};

TEST_P(CckmAkm, TheAssociationNamesTheAkmOfTheCcxFlags) {
  StartWorld("ap a\n bssid 02:40:96:00:00:0a\n ssid CcxNet\n channel 6\n ccx 4\n"
             " vendor 00:50:f2:01:01:00:00:50:f2:02:01:00:00:50:f2:02:02:00:00:50:f2:01:00:40:96:00\n");
  std::vector<std::uint8_t> request;
  Ap(0).addStationWatcher([&](const simair::MacAddress&, simair::AccessPoint::StationEvent event,
                              std::span<const std::uint8_t> elements) {
    if (event == simair::AccessPoint::StationEvent::Associated) request.assign(elements.begin(), elements.end());
  });
  h.run([&] { core->Config.wepStatus = 4; });  // TKIP
  ASSERT_EQ(SetWord(OID_802_11_AUTHENTICATION_MODE, 3).status, NDIS_STATUS_SUCCESS);  // WPA with 802.1X
  ASSERT_EQ(SetWord(OID_HLVN_CCX_FLAGS, GetParam().ccxFlags).status, NDIS_STATUS_SUCCESS);
  ASSERT_EQ(SetSsid("CcxNet").status, NDIS_STATUS_SUCCESS);
  ASSERT_FALSE(request.empty());
  EXPECT_EQ(simair::NamesCckm(request), GetParam().namesCckm);
  EXPECT_EQ(simair::CheckAssociationSecurity(simair::Security::WpaEnterprise, request, true), 0);
}

const AkmCase kAkmCases[] = {{"CCKM on", 4, true}, {"CCKM off", 0, false}, {"other flags", 3, false}};

INSTANTIATE_TEST_SUITE_P(Table, CckmAkm, ::testing::ValuesIn(kAkmCases),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

// Without CCKM in the CCX flags the same roam leaves the old access point and associates.
TEST_F(CcxMeasurement, ARoamWithoutCckmDeauthenticatesAndAssociatesAfresh) {
  StartWorld(kCckmWorld, "roam_without_cckm");
  ccx = world->ccxPeer(1);
  h.run([&] { core->Config.signalThreshold = -70; });
  ASSERT_EQ(SetSsid("CcxNet").status, NDIS_STATUS_SUCCESS);
  Advance(32s);
  ASSERT_EQ(core->Bssid, Ap(1).config().bssid);
  EXPECT_TRUE(ccx->reassociationsWithCckm().empty());
  for (const auto& s : h.host->takeStatus()) EXPECT_NE(s.status, NDIS_STATUS_HLVN_CCKM_REQUEST);
  EXPECT_EQ(Dissect(pcapPath, "wlan.fc.type_subtype == 12", {"wlan.sa"}).size(), 1u);
}

}  // namespace
}  // namespace zelnic::core::testing

namespace zelnic::core::testing {
namespace {

// The utility's CCX settings go through the control device: the CCX flags, and an access
// point it reports, which the station sends to its access point as an adjacent-AP list.
TEST_F(CcxMeasurement, TheUtilitysCcxOidsAnswerThroughTheControlDevice) {
  StartWorld(kCcxAp);
  Connect();
  auto device = h.host->openDevice(u"HlvnDev0");
  ASSERT_TRUE(device);
  auto set = [&](ULONG oid, std::vector<std::uint8_t> data) {
    std::vector<std::uint8_t> in(4);
    std::memcpy(in.data(), &oid, 4);
    in.insert(in.end(), data.begin(), data.end());
    const auto reply = h.host->deviceIoControl(*device, IOCTL_HLVN_SET_OID, in, 4);
    EXPECT_EQ(reply.status, STATUS_SUCCESS);
    return zelnic::testing::WordAt(reply.output, 0);
  };
  EXPECT_EQ(set(OID_HLVN_CCX_FLAGS, {4, 0, 0, 0}), static_cast<ULONG>(NDIS_STATUS_SUCCESS));
  EXPECT_EQ(core->CcxWord, 4u);
  // A reported access point: the station leaves its network first.
  std::vector<std::uint8_t> record(24, 0);
  record[2] = 3;  // the record's type
  const std::uint8_t reported[6] = {0x02, 0x40, 0x96, 0x00, 0x00, 0x77};
  std::memcpy(record.data() + 4, reported, 6);
  std::memcpy(record.data() + 10, "Lost", 4);
  EXPECT_EQ(set(OID_HLVN_CCX_AP_LIST, record), static_cast<ULONG>(NDIS_STATUS_SUCCESS));
  EXPECT_NE(core->MlmeState, kMlmeAssociated);
  EXPECT_EQ(set(OID_HLVN_CCX_AP_LIST, std::vector<std::uint8_t>(23, 0)),
            static_cast<ULONG>(NDIS_STATUS_BUFFER_TOO_SHORT));
  // With the utility attached, the connection is its own to make.
  EXPECT_EQ(set(OID_802_11_SSID, {6, 0, 0, 0, 'C', 'c', 'x', 'N', 'e', 't'}), static_cast<ULONG>(NDIS_STATUS_SUCCESS));
  Advance(3s);
  ASSERT_EQ(core->MlmeState, kMlmeAssociated);
  EXPECT_EQ(set(OID_HLVN_CCX_SEND_AP_REPORT, {0, 0, 0, 0}), static_cast<ULONG>(NDIS_STATUS_SUCCESS));
  Advance(20ms);
  ASSERT_EQ(ccx->apLists().size(), 1u);
  EXPECT_EQ(ccx->apLists()[0].type, 3);
  EXPECT_TRUE(std::equal(reported, reported + 6, ccx->apLists()[0].bssid.begin()));
  EXPECT_EQ(std::memcmp(ccx->apLists()[0].ssid.data(), "Lost", 4), 0);
  // Sent once: the record is gone from the list.
  EXPECT_EQ(set(OID_HLVN_CCX_SEND_AP_REPORT, {0, 0, 0, 0}), static_cast<ULONG>(NDIS_STATUS_SUCCESS));
  Advance(20ms);
  EXPECT_EQ(ccx->apLists().size(), 1u);
  h.host->closeDevice(*device);
  MediaEvents();
}

}  // namespace
}  // namespace zelnic::core::testing
