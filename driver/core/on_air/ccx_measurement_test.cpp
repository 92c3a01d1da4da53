// CCX radio measurement and the reports after a roam, through the whole driver: a CCX access
// point of the simulated air asks the associated station for measurements with IAPP frames,
// the chip measures what the air carries, and the access point checks the reports it gets.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "driver/core/on_air/air_station.h"
#include "driver/core/station_state.h"
#include "sim/air/ccx_access_point.h"

namespace zelnic::core::testing {
namespace {

using namespace std::chrono_literals;

const std::string kCcxAp = "ap ccx\n bssid 02:40:96:00:00:01\n ssid CcxNet\n channel 6\n signal -50\n ccx 4\n";
const std::string kNeighbour = "ap other\n bssid 02:40:96:00:00:02\n ssid Other\n channel 6\n signal -60\n";

class CcxMeasurement : public AirStation {
 protected:
  void Connect() {
    ccx = std::make_unique<simair::CcxAccessPoint>(h.scheduler, Ap(0));
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
  std::unique_ptr<simair::CcxAccessPoint> ccx;
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
