// The rate, channel and element tables and their helpers.
#include "driver/core/rates.h"

#include <gtest/gtest.h>

#include <vector>

#include "driver/core/channels.h"
#include "driver/core/elements.h"
#include "platform/ndis/ntddndis.h"

namespace zelnic::core {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Rates, BestCommonRateFollowsTheStationTableOrder) {
  struct Case {
    const char* name;
    Bytes rates;
    std::uint8_t best;
  };
  const Case cases[] = {
      {"6 Mbit/s outranks 11 Mbit/s", {0x82, 0x84, 0x8B, 0x96, 0x0C}, 0x0C},
      {"b rates only", {0x82, 0x84, 0x8B, 0x16}, 0x16},
      {"basic bits are ignored", {0x82, 0xEC}, 0x6C},
      {"22 and 72 Mbit/s are not station rates", {0x2C, 0x90, 0x04}, 0x04},
      {"nothing in common", {0x2C, 0x01}, 0},
      {"no rates", {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(BestCommonRate(c.rates.data(), static_cast<std::uint32_t>(c.rates.size())), c.best);
  }
}

TEST(Rates, IndexesCoverTheFourteenCodesAndUnknownCodesAreTen) {
  const std::uint8_t codes[14] = {0x02, 0x04, 0x0B, 0x16, 0x2C, 0x0C, 0x12, 0x18, 0x24, 0x30, 0x48, 0x60, 0x6C, 0x90};
  for (std::uint32_t i = 0; i < 14; ++i) {
    EXPECT_EQ(RateIndex(codes[i]), i);
    EXPECT_TRUE(IsKnownRate(codes[i]));
  }
  EXPECT_EQ(RateIndex(0x03), kUnknownRateIndex);
  EXPECT_FALSE(IsKnownRate(0x82));  // a basic mark is not a code
}

TEST(Rates, SortingPlacesEachRateAtItsIndexAndCappingCutsAboveTheDataRate) {
  std::uint8_t rates[14] = {0x6C, 0x0C, 0x82, 0x16};
  EXPECT_EQ(SortRatesByIndex(rates), 3u);  // the last index written: 11 Mbit/s came last
  const std::uint8_t sorted[14] = {0x82, 0, 0, 0x16, 0, 0x0C, 0, 0, 0, 0, 0, 0, 0x6C, 0};
  EXPECT_TRUE(std::equal(std::begin(rates), std::end(rates), sorted));

  std::uint8_t capped[14];
  std::copy(std::begin(sorted), std::end(sorted), capped);
  CapRatesAtDataRate(capped, 0x16);  // 11 Mbit/s
  const std::uint8_t upTo11[14] = {0x82, 0, 0, 0x16};
  EXPECT_TRUE(std::equal(std::begin(capped), std::end(capped), upTo11));
  for (std::uint32_t automatic : {0xFFu, 0x90u, 0x03u}) {
    std::copy(std::begin(sorted), std::end(sorted), capped);
    CapRatesAtDataRate(capped, automatic);
    EXPECT_TRUE(std::equal(std::begin(capped), std::end(capped), sorted)) << automatic;
  }
}

TEST(Rates, BOnlyAndBasicMarks) {
  struct Case {
    Bytes rates;
    std::uint32_t bOnly;
  };
  for (const Case& c : {Case{{0x82, 0x84, 0x8B, 0x96}, 1}, Case{{0x82, 0x84, 0x8B, 0x96, 0x0C}, 0},
                        Case{{0x82, 0x90}, 0}, Case{{0x82, 0x10}, 1}, Case{{0xB0}, 0}}) {
    NDIS_WLAN_BSSID bss{};
    std::copy(c.rates.begin(), c.rates.end(), bss.SupportedRates);
    EXPECT_EQ(IsBOnly(bss), c.bOnly) << int(c.rates.back());
  }

  Bytes supported = {1, 6, 0x02, 0x04, 0x0B, 0x16, 0x0C, 0x18};
  MarkBasicBRates(supported.data());
  EXPECT_EQ(supported, (Bytes{1, 6, 0x82, 0x84, 0x8B, 0x96, 0x0C, 0x18}));

  const std::uint8_t bss[14] = {0x82, 0x84, 0x0B, 0x16, 0, 0x8C, 0, 0x98};
  Bytes element = {50, 4, 0x02, 0x0B, 0x0C, 0x18};
  MarkBasicLikeBss(bss, element.data());
  EXPECT_EQ(element, (Bytes{50, 4, 0x82, 0x0B, 0x8C, 0x98}));
}

TEST(Channels, RegionListsAndFrequencies) {
  struct Case {
    std::uint32_t region;
    Bytes channels;
  };
  const Case cases[] = {
      {0, {1, 4, 7, 10, 2, 5, 8, 11, 3, 6, 9}},
      {1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
      {2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}},
      {3, {10, 11}},
      {4, {10, 11, 12, 13}},
      {5, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}},
  };
  for (const Case& c : cases) {
    Bytes list(std::begin(RegionChannels(c.region)), std::end(RegionChannels(c.region)));
    Bytes wanted = c.channels;
    wanted.resize(kChannelListBytes, 0);
    EXPECT_EQ(list, wanted) << "region " << c.region;
  }
  for (std::uint32_t channel = 1; channel <= 14; ++channel)
    EXPECT_EQ(FrequencyChannel(ChannelFrequency(channel)), channel);
  EXPECT_EQ(ChannelFrequency(1), 2412000u);
  EXPECT_EQ(ChannelFrequency(13), 2472000u);
  EXPECT_EQ(ChannelFrequency(14), 2484000u);
  EXPECT_EQ(FrequencyChannel(0), 0u);
}

TEST(Channels, AChannelRangeReplacesTheRegionsScanList) {
  std::uint8_t list[kChannelListBytes];
  FillScanChannels(list, 0x0306, 3);
  EXPECT_EQ(Bytes(list, list + 5), (Bytes{3, 4, 5, 6, 0}));
  FillScanChannels(list, 0, 3);
  EXPECT_EQ(Bytes(list, list + 3), (Bytes{10, 11, 0}));
}

TEST(Elements, TheBlockKeepsTheFixedFieldsAndTheFirstOfEachAcceptedElement) {
  struct Case {
    const char* name;
    Bytes elements;  // after the 12 bytes of fixed fields
    Bytes kept;
  };
  const Case cases[] = {
      {"accepted in frame order, others skipped",
       {0, 2, 'a', 'b', 7, 1, 9, 1, 1, 0x82, 3, 1, 6}, {0, 2, 'a', 'b', 1, 1, 0x82, 3, 1, 6}},
      {"a second SSID is dropped, RSN and vendor repeat",
       {0, 1, 'a', 0, 1, 'b', 48, 1, 1, 48, 1, 2, 221, 1, 3, 221, 1, 4},
       {0, 1, 'a', 48, 1, 1, 48, 1, 2, 221, 1, 3, 221, 1, 4}},
      {"a hidden SSID does not end the walk", {0, 0, 1, 1, 0x82, 48, 1, 7}, {0, 0, 1, 1, 0x82, 48, 1, 7}},
      {"an element running past the frame ends it", {1, 1, 0x82, 3, 5, 6}, {1, 1, 0x82}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes body = {1, 2, 3, 4, 5, 6, 7, 8, 100, 0, 0x11, 0x04};
    body.insert(body.end(), c.elements.begin(), c.elements.end());
    std::uint8_t block[kElementBlockBytes];
    std::fill(std::begin(block), std::end(block), 0xEE);
    const std::uint32_t used = CopyElements(block, body.data(), static_cast<std::uint32_t>(body.size()));
    ASSERT_EQ(used, kFixedFieldBytes + c.kept.size());
    EXPECT_TRUE(std::equal(body.begin(), body.begin() + kFixedFieldBytes, block));
    EXPECT_EQ(Bytes(block + kFixedFieldBytes, block + used), c.kept);
    EXPECT_TRUE(std::all_of(block + used, std::end(block), [](std::uint8_t b) { return b == 0; }));
  }
  std::uint8_t block[kElementBlockBytes];
  EXPECT_EQ(CopyElements(block, nullptr, 0), 0u);
}

TEST(Elements, ElementsThatDoNotFitTheBlockAreLeftOut) {
  Bytes body(kFixedFieldBytes, 0);
  for (int i = 0; i < 3; ++i) {  // three vendor elements of 257 bytes: only one fits 512
    body.push_back(221);
    body.push_back(255);
    body.insert(body.end(), 255, static_cast<std::uint8_t>(i));
  }
  std::uint8_t block[kElementBlockBytes];
  EXPECT_EQ(CopyElements(block, body.data(), static_cast<std::uint32_t>(body.size())), kFixedFieldBytes + 257);
  EXPECT_FALSE(IsAcceptedElement(7));
  EXPECT_TRUE(IsAcceptedElement(150));
}

}  // namespace
}  // namespace zelnic::core
