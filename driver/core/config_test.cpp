// The adapter's registry parameters: defaults, range checks and the copy into the station's
// configuration, read through the runtime's configuration calls.
#include "driver/core/config.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "platform/ndis/test_miniport.h"

namespace zelnic {
namespace {

using ndis::testing::TestAdapter;

// Runs the reader (and the range checks) against a registry key holding `parameters`.
AdapterConfig ReadChecked(const std::map<std::string, std::string, ndis::CaseInsensitiveLess>& parameters,
                          std::optional<MacAddress>* address = nullptr) {
  ndis::AdapterConfig config;
  config.parameters = parameters;
  TestAdapter a(config);
  EXPECT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  AdapterConfig record = DefaultAdapterConfig();
  a.run(PASSIVE_LEVEL, [&] {
    std::optional<MacAddress> station;
    char description[101] = {};
    EXPECT_EQ(ReadRegistryParameters(record, station, description, a.miniport.configuration), kConfigOk);
    RangeCheck(record);
    if (address) *address = station;
  });
  EXPECT_TRUE(a.host->leaks().empty());
  return record;
}

StationConfig Load(const std::map<std::string, std::string, ndis::CaseInsensitiveLess>& parameters,
                   ndis::FailureRule rule = {}) {
  ndis::AdapterConfig config;
  config.parameters = parameters;
  TestAdapter a(config);
  EXPECT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  if (rule) a.host->setFailureRule(rule);
  StationConfig station;
  a.run(PASSIVE_LEVEL, [&] { LoadAdapterConfig(station, a.miniport.configuration); });
  EXPECT_TRUE(a.host->leaks().empty());
  return station;
}

struct KeywordCase {
  std::string keyword;
  std::function<std::uint32_t(const AdapterConfig&)> field;
  std::uint32_t byDefault;
  const char* accepted;  // a value inside the accepted set
  std::uint32_t acceptedValue;
  const char* refused;   // a value outside it (null: every value is accepted)
};

std::uint32_t SsidLength(const AdapterConfig& c) { return c.desiredSsidLength; }

const std::vector<KeywordCase>& KeywordCases() {
  static const std::vector<KeywordCase> cases = [] {
    std::vector<KeywordCase> v = {
        {"DesiredSSID", SsidLength, 0, "HomeNet", 7, "\xC2\xA0HomeNet"},  // first byte 160
        {"DriverDesc", [](const AdapterConfig& c) { return c.driverDescLength; }, 0, "Zelnic", 6, nullptr},
        {"AuthMode", [](const AdapterConfig& c) { return c.authMode; }, 0, "8", 8, "9"},
        {"NetWorkMode", [](const AdapterConfig& c) { return c.networkMode; }, 1, "2", 2, "3"},
        {"FragThsd", [](const AdapterConfig& c) { return c.fragThreshold; }, 2346, "255", 255, "2449"},
        {"Channel", [](const AdapterConfig& c) { return c.channel; }, 1, "11", 11, "12"},
        {"TxAntenna", [](const AdapterConfig& c) { return c.txAntenna; }, 2, "FFFF", 0xFFFF, "3"},
        {"RxAntenna", [](const AdapterConfig& c) { return c.rxAntenna; }, 0xFFFF, "1", 1, "0"},
        {"RTSThsd", [](const AdapterConfig& c) { return c.rtsThreshold; }, 2346, "2448", 2448, "254"},
        {"RadioOn", [](const AdapterConfig& c) { return c.radioOn; }, 1, "2", 2, "3"},
        {"DataRate", [](const AdapterConfig& c) { return c.dataRate; }, 0xFF, "77", 0x77, nullptr},
        {"WepStatus", [](const AdapterConfig& c) { return c.wepStatus; }, 1, "7", 7, "8"},
        {"Preamble", [](const AdapterConfig& c) { return c.preamble; }, 1, "3", 3, "0"},
        {"ChannelRange", [](const AdapterConfig& c) { return c.channelRange; }, 0, "1FFF", 0x1FFF, nullptr},
        {"TxPowerLvl", [](const AdapterConfig& c) { return c.txPowerLevel; }, 4, "1", 1, "0"},
        {"AdhocGMode", [](const AdapterConfig& c) { return c.adhocGMode; }, 0, "1", 1, "2"},
        {"PowerMode", [](const AdapterConfig& c) { return c.powerMode; }, 0, "2", 2, nullptr},
        {"CcxReqTime", [](const AdapterConfig& c) { return c.ccxReqTime; }, 250, "65535", 65535, "249"},
        {"SignalThsds", [](const AdapterConfig& c) { return c.signalThreshold; }, 200, "70", 70, nullptr},
        {"TxFailThsds", [](const AdapterConfig& c) { return c.txFailThreshold; }, 0, "5", 5, nullptr},
        {"LEDOffAfterRadioOff", [](const AdapterConfig& c) { return c.ledOffAfterRadioOff; }, 1, "0", 0, nullptr},
        {"TxWepKey", [](const AdapterConfig& c) { return c.txWepKey; }, 0, "3", 3, nullptr},
    };
    const char* events[] = {"PowerOn", "PowerOff", "Scan", "Associated", "Joined",
                            "Started", "TxHigh",   "RxHigh", "Tx",        "Rx"};
    const std::uint32_t led0[] = {0xFF0001, 0xFE0000, 0xFD0002, 0xFD0005, 0xFD0006,
                                  0xFD0007, 0xFD000C, 0xFD000D, 0xFD0008, 0xFD0009};
    const std::uint32_t led1[] = {0xFE0101, 0xFE0100, 0x030102, 0xFF0105, 0xFF0106,
                                  0xFF0107, 0x01010C, 0x01010D, 0x020108, 0x020109};
    for (int led = 0; led < 2; ++led) {
      for (int i = 0; i < 10; ++i) {
        auto field = [led, i](const AdapterConfig& c) { return led == 0 ? c.led0[i] : c.led1[i]; };
        v.push_back({"LED" + std::to_string(led) + events[i], field, led == 0 ? led0[i] : led1[i],
                     "123456", 0x123456, nullptr});
      }
    }
    for (int k = 0; k < 4; ++k) {
      static const char* keys[] = {"WepKey1", "WepKey2", "WepKey3", "WepKey4"};
      auto field = [k](const AdapterConfig& c) { return c.wepKeys[k].keyLength; };
      v.push_back({keys[k], field, 0, "abcdefghijklm", 13, "abcdefghij"});  // 10 bytes: refused
    }
    return v;
  }();
  return cases;
}

TEST(RegistryParameters, EveryKeywordHasItsDefaultItsAcceptedSetAndItsFallback) {
  ASSERT_EQ(KeywordCases().size(), 46u);
  ASSERT_EQ(KeywordTable().size(), 46u);
  std::map<std::string, std::string, ndis::CaseInsensitiveLess> accepted, refused;
  for (const auto& c : KeywordCases()) {
    accepted[c.keyword] = c.accepted;
    if (c.refused) refused[c.keyword] = c.refused;
  }
  const AdapterConfig absent = ReadChecked({});
  const AdapterConfig good = ReadChecked(accepted);
  const AdapterConfig bad = ReadChecked(refused);
  for (const auto& c : KeywordCases()) {
    SCOPED_TRACE(c.keyword);
    EXPECT_EQ(c.field(absent), c.byDefault);
    EXPECT_EQ(c.field(good), c.acceptedValue);
    if (c.refused) {
      EXPECT_EQ(c.field(bad), c.byDefault);
    }
  }
  // Each row reads its own keyword into its own field.
  for (const auto& row : KeywordTable()) {
    const bool known = std::any_of(KeywordCases().begin(), KeywordCases().end(),
                                   [&](const KeywordCase& c) { return c.keyword == row.name; });
    EXPECT_TRUE(known) << row.name;
  }
}

TEST(RegistryParameters, EdgesOfTheRanges) {
  struct Case {
    const char* keyword;
    const char* value;
    std::function<std::uint32_t(const AdapterConfig&)> field;
    std::uint32_t expected;
  };
  auto frag = [](const AdapterConfig& c) { return c.fragThreshold; };
  auto power = [](const AdapterConfig& c) { return c.txPowerLevel; };
  const Case cases[] = {
      {"FragThsd", "254", frag, 2346},  {"FragThsd", "2448", frag, 2448},
      {"TxPowerLvl", "4", power, 4},    {"TxPowerLvl", "3", power, 3},
      {"DesiredSSID", " leading space", SsidLength, 14},
      {"DesiredSSID", "abcdefghijklmnopqrstuvwxyz012345", SsidLength, 32},
      {"DesiredSSID", "abcdefghijklmnopqrstuvwxyz0123456", SsidLength, 0},  // 33: refused
      {"WepKey3", "abcdefghijklmnopq", [](const AdapterConfig& c) { return c.wepKeys[2].keyLength; }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.keyword) + "=" + c.value);
    EXPECT_EQ(c.field(ReadChecked({{c.keyword, c.value}})), c.expected);
  }
}

TEST(RegistryParameters, NetworkAddressOnlyWithExactlySixBytesOfAnIndividualAddress) {
  struct Case {
    const char* value;
    bool taken;
  };
  for (const Case c : {Case{"02-11-22-33-44-55", true}, Case{"021122334455", true},
                       Case{"02-11-22-33-44", false}, Case{"02112233445566", false},
                       Case{"not an address", false}, Case{"FF-FF-FF-FF-FF-FF", false},
                       Case{"01-00-5E-00-00-01", false}, Case{"03-11-22-33-44-55", false}}) {
    SCOPED_TRACE(c.value);
    std::optional<MacAddress> address;
    ReadChecked({{"NetworkAddress", c.value}}, &address);
    EXPECT_EQ(address.has_value(), c.taken);
    if (c.taken) {
      EXPECT_EQ(*address, (MacAddress{0x02, 0x11, 0x22, 0x33, 0x44, 0x55}));
    }
  }
  std::optional<MacAddress> none;
  ReadChecked({}, &none);
  EXPECT_FALSE(none);
}

TEST(RegistryParameters, LongTextsStayInsideTheirFields) {
  const std::string ssid32 = "abcdefghijklmnopqrstuvwxyz012345";
  const std::string description(130, 'D');
  const AdapterConfig c = ReadChecked({{"DesiredSSID", ssid32}, {"DriverDesc", description}});
  ASSERT_EQ(c.desiredSsidLength, 32u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(c.desiredSsid), 32), ssid32);
  EXPECT_EQ(c.driverDescLength, 100u);  // cut to its field
  EXPECT_EQ(c.authMode, 0u);            // the numbers behind it keep their defaults
  EXPECT_EQ(c.networkMode, 1u);
  EXPECT_EQ(c.channelRange, 0u);

  const StationConfig station = Load({{"DriverDesc", description}});
  EXPECT_EQ(std::string(station.vendorDescription), std::string(100, 'D'));
}

TEST(LoadAdapterConfig, CopiesIntoTheStation) {
  const StationConfig s = Load({{"SignalThsds", "70"},
                                {"DataRate", "16"},
                                {"DesiredSSID", "HomeNet"},
                                {"WepKey2", "abcdefghijklm"},
                                {"WepKey3", "abcdefghij"},
                                {"Channel", "6"},
                                {"DriverDesc", "Zelnic 802.11g"},
                                {"NetworkAddress", "02-00-00-00-00-07"}});
  EXPECT_EQ(s.signalThreshold, -70);
  EXPECT_EQ(s.dataRate, 0x16u);
  EXPECT_EQ(s.rateIndex, 3u);
  EXPECT_EQ(s.desiredSsid.length, 7u);
  EXPECT_EQ(std::memcmp(s.desiredSsid.bytes, "HomeNet", 7), 0);
  EXPECT_EQ(s.wepKeys[0].keyLength, 0u);
  EXPECT_EQ(s.wepKeys[1].keyLength, 13u);
  EXPECT_EQ(s.wepKeys[1].keyClass, 13u);
  EXPECT_EQ(s.wepKeys[1].keyIndex, 1u);
  EXPECT_EQ(std::memcmp(s.wepKeys[1].key, "abcdefghijklm", 13), 0);
  EXPECT_EQ(s.wepKeys[2].keyLength, 0u);  // ten characters: no key
  EXPECT_EQ(s.channel, 6);
  EXPECT_STREQ(s.vendorDescription, "Zelnic 802.11g");
  EXPECT_EQ(s.stationAddress, (MacAddress{0x02, 0, 0, 0, 0, 0x07}));

  const StationConfig defaults = Load({});
  EXPECT_EQ(defaults.signalThreshold, -200);
  EXPECT_EQ(defaults.rateIndex, 12u);
  EXPECT_EQ(defaults.desiredSsid.length, 0u);
  EXPECT_FALSE(defaults.stationAddress);
}

TEST(LoadAdapterConfig, AnUnopenedConfigurationLeavesEveryDefault) {
  const StationConfig s = Load({{"FragThsd", "300"}, {"Channel", "6"}},
                               ndis::FailAll(ndis::RequestKind::Configuration));
  EXPECT_EQ(s.fragThreshold, 2346u);
  EXPECT_EQ(s.channel, 1);
  EXPECT_EQ(s.txPowerLevel, 4u);
  EXPECT_EQ(s.led1[kLedScan], 0x030102u);
}

TEST(Rates, CodeToIndex) {
  const std::uint32_t codes[] = {0x02, 0x04, 0x0B, 0x16, 0x2C, 0x0C, 0x12,
                                 0x18, 0x24, 0x30, 0x48, 0x60, 0x6C, 0x90};
  for (std::uint32_t i = 0; i < 14; ++i) EXPECT_EQ(RateIndexOfCode(codes[i]), i);
  EXPECT_FALSE(RateIndexOfCode(0x03));
  EXPECT_EQ(RateIndexOfDataRate(0xFF), 12u);
  EXPECT_EQ(RateIndexOfDataRate(0x03), 10u);
  EXPECT_EQ(RateIndexOfDataRate(0x0B), 2u);
}

}  // namespace
}  // namespace zelnic
