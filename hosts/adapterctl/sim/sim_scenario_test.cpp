#include "hosts/adapterctl/sim/sim_scenario.h"

#include <gtest/gtest.h>

namespace zelcon {
namespace {

TEST(SimScenario, ReadsEveryKey) {
  SimScenarioResult r = ParseSimScenario(
      "# office and a neighbour\r\n"
      "mac = 00-0a-f5-00-00-01\n"
      "region = 0x31\n"
      "radio = 2\n"
      "description = Card 6140\n"
      "connect_delay_ms = 0\n"
      "bss = Office | 00-11-22-33-44-01 | 6 | -45 | wpa2-psk | infra | g\n"
      "bss = Lab | 00:11:22:33:44:02 | 14 | -70 | open | adhoc | b | 0x01\n"
      "connect = Office | 7\n"
      "swiftbond = failure\n"
      "counter = tx_fragments 1200\n"
      "event = 1500 1012 Authentication failed\n");
  ASSERT_TRUE(r.scenario) << r.error;
  const SimScenario& s = *r.scenario;
  EXPECT_EQ(s.mac[5], 1);
  EXPECT_EQ(s.region, 0x31u);
  EXPECT_EQ(s.radio, 2u);
  EXPECT_EQ(s.description, "Card 6140");
  ASSERT_EQ(s.networks.size(), 2u);
  EXPECT_EQ(s.networks[0].security, SimBss::Security::Wpa2Psk);
  EXPECT_EQ(s.networks[1].channel, 14u);
  EXPECT_FALSE(s.networks[1].infrastructure);
  EXPECT_TRUE(s.networks[1].bOnly);
  EXPECT_EQ(s.networks[1].autoLinkFlags, 1);
  EXPECT_EQ(s.connectResults.at("Office"), "7");
  EXPECT_FALSE(s.swiftBondSucceeds);
  EXPECT_EQ(s.counters.at("tx_fragments"), 1200);
  ASSERT_EQ(s.events.size(), 1u);
  EXPECT_EQ(s.events[0].code, 1012u);
  EXPECT_EQ(s.events[0].text, "Authentication failed");
}

TEST(SimScenario, RefusesBadLinesNamingTheLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"radio = 3", "line 1: radio must be 0, 1 or 2"},
      {"\nmac = 00-11", "line 2: bad MAC"},
      {"bss = a | 00-11-22-33-44-55 | 15 | -1 | open | infra | g", "line 1: channel must be 1-14"},
      {"bss = a | 00-11-22-33-44-55 | 1 | -1 | wpa3 | infra | g", "line 1: security must be open, wep, wpa-psk or wpa2-psk"},
      {"bss = 123456789012345678901234567890123 | 00-11-22-33-44-55 | 1 | -1 | open | infra | g", "line 1: SSID longer than 32 bytes"},
      {"bss = a | b", "line 1: bss needs 7 or 8 fields separated by |"},
      {"event = soon 5", "line 1: event needs a delay and a code"},
      {"colour = blue", "line 1: unknown key"},
      {"region 16", "line 1: expected key = value"},
      {"region = 0x", "line 1: bad number"},
  };
  for (auto [text, error] : cases) {
    SimScenarioResult r = ParseSimScenario(text);
    EXPECT_FALSE(r.scenario) << text;
    EXPECT_EQ(r.error, error);
  }
}

}  // namespace
}  // namespace zelcon

namespace zelcon {
namespace {

TEST(SimScenario, ShippedExampleLoads) {
  SimScenarioResult r = LoadSimScenario(std::string(ZL_SOURCE_DIR) + "/hosts/adapterctl/sim/office.scenario");
  ASSERT_TRUE(r.scenario) << r.error;
  EXPECT_EQ(r.scenario->networks.size(), 4u);
  EXPECT_FALSE(LoadSimScenario("/nonexistent/file").scenario);
}

}  // namespace
}  // namespace zelcon
