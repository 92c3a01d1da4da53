#include "driver/core/ccx_iapp.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "driver/core/ccx_measurement_queue.h"
#include "driver/core/ccx_report.h"

namespace zelnic::core {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes RequestHeader(std::uint8_t firstAddressByte = 0) {
  Bytes b(kIappSnap, kIappSnap + 8);
  b.insert(b.end(), {0, 0, kIappTypeMeasurement, kIappSubtypeRequest});
  b.insert(b.end(), 12, 0);
  b[12] = firstAddressByte;
  b.insert(b.end(), {0x12, 0x34, 1, 5});  // dialog token, activation delay, offset
  return b;
}

void AddRequest(Bytes& b, std::uint16_t token, std::uint8_t mode, std::uint8_t type, std::uint8_t channel,
                std::uint16_t duration, std::uint16_t length = 8) {
  const std::uint8_t fields[8] = {static_cast<std::uint8_t>(token), static_cast<std::uint8_t>(token >> 8), mode, type,
                                  channel, 0, static_cast<std::uint8_t>(duration), static_cast<std::uint8_t>(duration >> 8)};
  b.insert(b.end(), {38, 0, static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8)});
  b.insert(b.end(), fields, fields + 8);
  b.insert(b.end(), length > 8 ? length - 8 : 0, 0);
}

TEST(CcxRequest, ReadsHeaderAndElementsAndSkipsTypeFour) {
  Bytes b = RequestHeader();
  AddRequest(b, 7, 0, 1, 6, 200);
  AddRequest(b, 8, 0, 4, 6, 200);   // skipped type
  AddRequest(b, 9, 1, 2, 11, 100, 10);  // longer element: its tail is stepped over
  CcxRequestSet set;
  ASSERT_EQ(ParseMeasurementRequest(b.data(), static_cast<std::uint32_t>(b.size()), set), IappRefusal::None);
  EXPECT_EQ(set.dialogToken, 0x1234);
  EXPECT_EQ(set.activationDelay, 1);
  EXPECT_EQ(set.measurementOffset, 5);
  ASSERT_EQ(set.count, 2u);
  EXPECT_EQ(set.requests[0].token, 7);
  EXPECT_EQ(set.requests[0].duration, 200);
  EXPECT_EQ(set.requests[1].token, 9);
  EXPECT_TRUE(set.requests[1].Parallel());
  EXPECT_EQ(set.requests[1].channel, 11);
}

TEST(CcxRequest, RefusesWhatIsNotARequestOfTheAcceptedForm) {
  struct Case {
    const char* name;
    Bytes frame;
    IappRefusal expected;
  };
  Bytes wrongSnap = RequestHeader();
  wrongSnap[5] = 0x41;
  Bytes report = RequestHeader();
  report[11] = kIappSubtypeReport;
  Bytes cut = RequestHeader();
  cut.resize(25);
  const Case cases[] = {
      {"addressed to a station", RequestHeader(0x02), IappRefusal::AddressedElsewhere},
      {"not IAPP", wrongSnap, IappRefusal::NotIapp},
      {"a report", report, IappRefusal::NotARequest},
      {"cut before the dialog token", cut, IappRefusal::TooShort},
  };
  for (const Case& c : cases) {
    CcxRequestSet set;
    EXPECT_EQ(ParseMeasurementRequest(c.frame.data(), static_cast<std::uint32_t>(c.frame.size()), set), c.expected)
        << c.name;
    EXPECT_EQ(set.count, 0u) << c.name;
  }
}

TEST(CcxRequest, AnElementThatRunsPastTheFrameIsNotRead) {
  Bytes b = RequestHeader();
  AddRequest(b, 7, 0, 1, 6, 200);
  AddRequest(b, 8, 0, 1, 6, 200);
  b.resize(b.size() - 1);  // the second element's last byte is missing
  CcxRequestSet set;
  ASSERT_EQ(ParseMeasurementRequest(b.data(), static_cast<std::uint32_t>(b.size()), set), IappRefusal::None);
  EXPECT_EQ(set.count, 1u);
}

TEST(CcxRequest, ThePoolOfSixteenDropsTheRest) {
  Bytes b = RequestHeader();
  for (std::uint16_t i = 0; i < 20; ++i) AddRequest(b, i, 0, 1, 6, 10);
  CcxRequestSet set;
  ASSERT_EQ(ParseMeasurementRequest(b.data(), static_cast<std::uint32_t>(b.size()), set), IappRefusal::None);
  EXPECT_EQ(set.count, kMeasurementPoolEntries);
  EXPECT_EQ(set.requests[15].token, 15);
}

TEST(CcxQueue, QueuesShortOrCurrentChannelRequestsAndHalvesParallelPairs) {
  CcxRequestSet set;
  set.count = 4;
  set.requests[0] = {1, 0, 1, 6, 0, 200};   // current channel: queued
  set.requests[1] = {2, 0, 1, 11, 0, 250};  // off channel, not below CcxReqTime 250: dropped
  set.requests[2] = {3, 0, 2, 11, 0, 249};  // off channel, short: queued
  set.requests[3] = {4, 1, 1, 6, 0, 100};   // parallel with the one before
  CcxMeasurementQueue q;
  EXPECT_EQ(q.Load(set, 250, 6), 3u);
  CcxMeasurementRequest r;
  ASSERT_TRUE(q.TakeNext(r));
  EXPECT_EQ(r.token, 1);
  EXPECT_EQ(r.duration, 200);
  ASSERT_TRUE(q.TakeNext(r));
  EXPECT_EQ(r.token, 3);
  EXPECT_EQ(r.duration, 124);  // half of the larger, 249
  ASSERT_TRUE(q.TakeNext(r));
  EXPECT_EQ(r.token, 4);
  EXPECT_EQ(r.duration, 124);
  EXPECT_FALSE(q.TakeNext(r));
}

TEST(CcxQueue, Timing) {
  EXPECT_EQ(MeasurementMs(200), 204u);  // 200 TU on the air
  EXPECT_EQ(ActivationDelayMs(0, 100), 0u);
  EXPECT_EQ(ActivationDelayMs(3, 100), 90u);
  EXPECT_EQ(ActivationDelayMs(3, 5), 0u);
}

TEST(CcxReport, ElementsCarryTheRequestAndCappedValues) {
  const std::uint8_t bssid[6] = {0, 0x40, 0x96, 1, 2, 3};
  const std::uint8_t station[6] = {2, 0, 0, 0, 0, 9};
  CcxReportBody body;
  body.Start(bssid, station, 0x1234);
  const CcxMeasurementRequest load{0x0102, 0, 1, 6, 0, 200};
  const CcxMeasurementRequest noise{0x0103, 1, 2, 6, 0, 100};
  ASSERT_TRUE(body.AddChannelLoad(load, 300));
  const std::uint32_t rpi[8] = {0, 1, 2, 3, 255, 256, 1000, 7};
  ASSERT_TRUE(body.AddNoiseHistogram(noise, rpi));
  ASSERT_EQ(body.Finish(), 26u + 13u + 20u);
  const std::uint8_t* b = body.Bytes();
  EXPECT_EQ(b[8] << 8 | b[9], 18 + 13 + 20);
  EXPECT_EQ(Bytes(b + 10, b + 12), (Bytes{0x32, 0x81}));
  EXPECT_EQ(Bytes(b + 12, b + 18), Bytes(bssid, bssid + 6));
  EXPECT_EQ(Bytes(b + 18, b + 24), Bytes(station, station + 6));
  EXPECT_EQ(Bytes(b + 26, b + 39), (Bytes{39, 0, 9, 0, 0x02, 0x01, 0, 1, 6, 0, 200, 0, 255}));
  EXPECT_EQ(Bytes(b + 39, b + 51), (Bytes{39, 0, 16, 0, 0x03, 0x01, 1, 2, 6, 0, 100, 0}));
  EXPECT_EQ(Bytes(b + 51, b + 59), (Bytes{0, 1, 2, 3, 255, 255, 255, 7}));
}

TEST(CcxReport, StopsNearTheFrameLimit) {
  const std::uint8_t address[6] = {};
  CcxReportBody body;
  body.Start(address, address, 1);
  const CcxMeasurementRequest load{1, 0, 1, 6, 0, 10};
  while (body.AddChannelLoad(load, 1)) {
  }
  EXPECT_GT(body.Length(), 1387u);
  EXPECT_LE(body.Length(), kReportBodyLimit);
  const std::uint32_t rpi[8] = {};
  EXPECT_FALSE(body.AddNoiseHistogram(load, rpi));
}

TEST(CcxReport, ABeaconElementCopiesTheBasicAndShortVendorElementsOfTheBss) {
  const std::uint8_t address[6] = {};
  const std::uint8_t bssid[6] = {2, 0, 0, 0, 0, 7};
  const std::uint8_t timestamp[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  // SSID, an empty TIM-like element 5, ERP (42: left out), a vendor element of 6 bytes and
  // one of 7 (left out), then one that runs past the block (the walk stops).
  const Bytes elements = {0, 3, 'a', 'b', 'c', 5, 0, 42, 1, 0, 221, 6, 0, 0x40, 0x96, 1, 1, 0,
                          221, 7, 0, 0x40, 0x96, 3, 4, 0, 0, 1, 9, 1};
  BeaconReportSource bss;
  bss.channel = 11;
  bss.phyType = 6;
  bss.rssiDbm = -60;
  bss.bssid = bssid;
  bss.parentTsf = 0x11223344;
  bss.timestamp = timestamp;
  bss.beaconInterval = 100;
  bss.capability = 0x0401;
  bss.elements = elements.data();
  bss.elementsLength = static_cast<std::uint32_t>(elements.size());
  CcxReportBody body;
  body.Start(address, address, 1);
  const CcxMeasurementRequest beacon{5, 0, 3, 0, 2, 50};
  ASSERT_TRUE(body.AddBeacon(beacon, bss));
  const Bytes copied = {0, 3, 'a', 'b', 'c', 5, 0, 221, 6, 0, 0x40, 0x96, 1, 1, 0};
  ASSERT_EQ(body.Length(), 26u + 4 + 32 + copied.size());
  const std::uint8_t* e = body.Bytes() + 26;
  EXPECT_EQ(Bytes(e, e + 12), (Bytes{39, 0, static_cast<std::uint8_t>(32 + copied.size()), 0, 5, 0, 0, 3, 11, 0, 50, 0}));
  EXPECT_EQ(e[12], 6);
  EXPECT_EQ(static_cast<std::int8_t>(e[13]), -40);  // dBm + 20
  EXPECT_EQ(Bytes(e + 14, e + 20), Bytes(bssid, bssid + 6));
  EXPECT_EQ(Bytes(e + 20, e + 24), (Bytes{0x44, 0x33, 0x22, 0x11}));
  EXPECT_EQ(Bytes(e + 24, e + 32), Bytes(timestamp, timestamp + 8));
  EXPECT_EQ(Bytes(e + 32, e + 36), (Bytes{100, 0, 0x01, 0x04}));
  EXPECT_EQ(Bytes(e + 36, e + 36 + copied.size()), copied);
  // A BSS heard below -90 dBm is left out; the report does not grow.
  bss.rssiDbm = -91;
  const std::uint32_t before = body.Length();
  EXPECT_TRUE(body.AddBeacon(beacon, bss));
  EXPECT_EQ(body.Length(), before);
  // Near the frame limit the element is refused whole.
  bss.rssiDbm = -60;
  while (body.AddBeacon(beacon, bss)) {
  }
  EXPECT_LT(body.Length(), kReportBodyLimit);
  EXPECT_GT(body.Length() + 4 + 32 + copied.size(), kReportBodyLimit - 1);
}

Bytes ApElement(std::uint8_t last, const std::string& ssid) {
  Bytes e = {0x00, 0x9B, 0, static_cast<std::uint8_t>(ssid.size() + 16), 0x00, 0x40, 0x96, 0x00,
             0, 0x40, 0x96, 0, 0, last, 0, 6, 0, static_cast<std::uint8_t>(ssid.size())};
  e.insert(e.end(), ssid.begin(), ssid.end());
  e.insert(e.end(), {0, 0});
  return e;
}

TEST(CcxApList, ReadsEntriesAndStopsAtAnElementThatDoesNotFit) {
  Bytes b(kIappSnap, kIappSnap + 8);
  b.insert(b.end(), {0, 0, kIappTypeReport, 0});
  b.insert(b.end(), 12, 0);
  for (const Bytes& e : {ApElement(1, "alpha"), ApElement(2, "beta")}) b.insert(b.end(), e.begin(), e.end());
  Bytes cut = ApElement(3, "gamma-network");
  b.insert(b.end(), cut.begin(), cut.end() - 3);
  b[8] = static_cast<std::uint8_t>((b.size() - 8) >> 8);
  b[9] = static_cast<std::uint8_t>(b.size() - 8);
  ReceivedAp aps[kReceivedApEntries];
  ASSERT_EQ(ParseAdjacentApList(b.data(), static_cast<std::uint32_t>(b.size()), aps, kReceivedApEntries), 2u);
  EXPECT_EQ(aps[0].bssid[5], 1);
  EXPECT_EQ(aps[0].channel, 6);
  EXPECT_EQ(std::string(aps[1].ssid.begin(), aps[1].ssid.begin() + aps[1].ssidLength), "beta");
  // A capacity of one keeps the first entry only.
  EXPECT_EQ(ParseAdjacentApList(b.data(), static_cast<std::uint32_t>(b.size()), aps, 1), 1u);
}

}  // namespace
}  // namespace zelnic::core
