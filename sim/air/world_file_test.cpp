// The world file: the examples, each value's bounds, and errors that name the line.
#include "sim/air/world_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace simair {
namespace {

const std::string kWorlds = SIMAIR_WORLDS_DIR;

World Parse(const std::string& text) {
  std::string error;
  auto world = ParseWorld(text, error);
  EXPECT_TRUE(world) << error;
  return world ? std::move(*world) : World{};
}

std::string ErrorOf(const std::string& text) {
  std::string error;
  const auto world = ParseWorld(text, error);
  EXPECT_FALSE(world) << text;
  return error;
}

const std::string kAp = "ap a\n bssid 02:00:00:00:00:01\n ssid x\n";
const std::string kCcxMeasureUsage =
    "ccx-measure takes channel-load or noise-histogram, a channel and a duration (TU), or beacon, a channel, a "
    "duration and passive, active or table";
const std::string kNineMeasurements = [] {
  std::string lines;
  for (int i = 0; i < 9; ++i) lines += " ccx-measure channel-load 1 100\n";
  return lines;
}();
const std::string kSeventeenKnobs = [] {
  std::string lines;
  for (int i = 0; i < 17; ++i) lines += "chip-knob hold-transmit\n";
  return lines;
}();

TEST(WorldFile, TheExampleWorldsLoad) {
  for (const char* name : {"office.world", "roaming.world", "hidden.world", "demo.world", "ckip.world", "autolink.world",
                           "ccx.world"}) {
    std::string error;
    EXPECT_TRUE(LoadWorldFile(kWorlds + "/" + name, error)) << error;
  }
}

TEST(WorldFile, TheOfficeHasThreeAccessPointsOfEachSecurity) {
  std::string error;
  const auto world = LoadWorldFile(kWorlds + "/office.world", error);
  ASSERT_TRUE(world) << error;
  EXPECT_EQ(world->station, World::kDefaultStation);
  EXPECT_EQ(world->defaultLossDb, 100);
  ASSERT_EQ(world->accessPoints.size(), 3u);
  const auto& lobby = world->accessPoints[0];
  const auto& workshop = world->accessPoints[1];
  const auto& office = world->accessPoints[2];
  EXPECT_EQ(lobby.name, "lobby");
  EXPECT_EQ(lobby.config.ssid, "Zelnet Guest");
  EXPECT_EQ(lobby.config.bssid, (MacAddress{0x02, 0x5a, 0x4c, 0, 0, 1}));
  EXPECT_EQ(lobby.config.channel, 1);
  EXPECT_EQ(lobby.config.security, Security::Open);
  EXPECT_EQ(lobby.signalDbm, -48);
  EXPECT_EQ(workshop.config.security, Security::Wep);
  EXPECT_EQ(workshop.config.rates, (std::vector<std::uint8_t>{0x82, 0x84, 0x0B, 0x16}));
  ASSERT_EQ(workshop.config.wepKeys.size(), 1u);
  EXPECT_EQ(workshop.config.wepKeys[0].reveal(), std::string("\x01\x02\x03\x04\x05"));
  EXPECT_EQ(office.config.security, Security::Wpa2);
  EXPECT_EQ(office.config.passphrase.reveal(), "correct horse battery staple");
  EXPECT_EQ(office.config.channel, 11);
  EXPECT_EQ(office.config.dtimPeriod, 2);
  ASSERT_EQ(office.config.vendorElements.size(), 1u);
  EXPECT_EQ(office.config.vendorElements[0].size(), 24u);
}

TEST(WorldFile, ValuesAndScriptedChangesAreRead) {
  const World world = Parse(
      "station 00:0a:0b:0c:0d:0e  # comment\r\n"
      "default-loss 0\n"
      "ap \"a b\"\n"
      "\tbssid 02-00-00-00-00-01\n"
      "  ssid \"say \\\"hi\\\" \\\\ there\"\n"
      "  hidden\n  ibss\n  channel 14\n  beacon-interval 65535\n  dtim 255\n"
      "  rates 54b 1\n  power -10\n  signal -120\n"
      "  vendor 0050f2\n  vendor 00:40:96:00\n  ccx 4\n  ccx-ap-power 7\n"
      "at 30 \"a b\" signal 0\n"
      "at 2.5s \"a b\" off\n"
      "at 1500ms \"a b\" on\n"
      "at 0.000001s \"a b\" off\n");
  EXPECT_EQ(world.station, (MacAddress{0, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e}));
  EXPECT_EQ(world.defaultLossDb, 0);
  ASSERT_EQ(world.accessPoints.size(), 1u);
  const AccessPointConfig& config = world.accessPoints[0].config;
  EXPECT_EQ(world.accessPoints[0].name, "a b");
  EXPECT_EQ(config.ssid, "say \"hi\" \\ there");
  EXPECT_TRUE(config.hiddenSsid);
  EXPECT_TRUE(config.independent);
  EXPECT_EQ(config.channel, 14);
  EXPECT_EQ(config.beaconIntervalTu, 65535);
  EXPECT_EQ(config.dtimPeriod, 255);
  EXPECT_EQ(config.rates, (std::vector<std::uint8_t>{0x80 | 108, 2}));
  EXPECT_EQ(config.transmitPowerDbm, -10);
  EXPECT_EQ(world.accessPoints[0].signalDbm, -120);
  EXPECT_EQ(config.vendorElements.size(), 3u);  // and the CCX presence element
  // The Aironet and CCX version elements, then the AP transmit power of 7 dBm.
  ASSERT_EQ(config.extraElements.size(), 3u);
  EXPECT_EQ(config.extraElements[0][0], 133);
  EXPECT_EQ(config.extraElements[1], (dot11::Bytes{221, 5, 0x00, 0x40, 0x96, 0x03, 4}));
  EXPECT_EQ(config.extraElements[2], (dot11::Bytes{150, 6, 0x00, 0x40, 0x96, 0x00, 7, 0}));
  ASSERT_EQ(world.changes.size(), 4u);
  EXPECT_EQ(world.changes[0].atMicros, 30'000'000);
  EXPECT_EQ(world.changes[0].kind, WorldChange::Kind::Signal);
  EXPECT_EQ(world.changes[0].signalDbm, 0);
  EXPECT_EQ(world.changes[1].atMicros, 2'500'000);
  EXPECT_EQ(world.changes[1].kind, WorldChange::Kind::Off);
  EXPECT_EQ(world.changes[2].atMicros, 1'500'000);
  EXPECT_EQ(world.changes[2].kind, WorldChange::Kind::On);
  EXPECT_EQ(world.changes[3].atMicros, 1);
}

// A CCX access point's measurements go into one request, in the order of their lines, each
// with its own token; a wpa-enterprise network offers CCKM beside 802.1X.
TEST(WorldFile, CcxMeasurementsAndCckmAreRead) {
  const World world = Parse(kAp + " ccx 4\n ccx-measure beacon 6 50 active\n ccx-measure channel-load 1 200\n"
                                  " ccx-measure noise-histogram 14 65535\n ccx-measure beacon 1 1 table\n"
                                  "ap b\n bssid 02:00:00:00:00:02\n ssid y\n security wpa-enterprise\n"
                                  " radius-secret s\n cckm\n");
  ASSERT_EQ(world.accessPoints.size(), 2u);
  const WorldAccessPoint& ccx = world.accessPoints[0];
  EXPECT_TRUE(ccx.ccx);
  ASSERT_EQ(ccx.ccxMeasurements.size(), 4u);
  const CcxMeasurementAsk& beacon = ccx.ccxMeasurements[0];
  EXPECT_EQ(beacon.token, 1);
  EXPECT_EQ(beacon.type, kCcxBeacon);
  EXPECT_EQ(beacon.channel, 6);
  EXPECT_EQ(beacon.durationTu, 50);
  EXPECT_EQ(beacon.scanMode, 1);
  EXPECT_EQ(ccx.ccxMeasurements[1].type, kCcxChannelLoad);
  EXPECT_EQ(ccx.ccxMeasurements[1].token, 2);
  EXPECT_EQ(ccx.ccxMeasurements[2].type, kCcxNoiseHistogram);
  EXPECT_EQ(ccx.ccxMeasurements[2].durationTu, 65535);
  EXPECT_EQ(ccx.ccxMeasurements[3].scanMode, 2);
  const WorldAccessPoint& corp = world.accessPoints[1];
  EXPECT_FALSE(corp.ccx);
  EXPECT_EQ(corp.config.security, Security::WpaEnterprise);
  EXPECT_TRUE(corp.config.cckm);
}

// A TKIP network's access point may be told to send each station one frame with a wrong Michael.
TEST(WorldFile, BadMichaelIsReadForTkipNetworks) {
  for (const char* security : {"wpa-psk", "wpa-wpa2-psk"}) {
    const World world = Parse(kAp + " security " + security + "\n passphrase \"12345678\"\n bad-michael\n");
    ASSERT_EQ(world.accessPoints.size(), 1u) << security;
    EXPECT_TRUE(world.accessPoints[0].config.badMichael) << security;
  }
  const World plain = Parse(kAp + " security wpa-psk\n passphrase \"12345678\"\n");
  ASSERT_EQ(plain.accessPoints.size(), 1u);
  EXPECT_FALSE(plain.accessPoints[0].config.badMichael);
}

// A WPA or WPA2 access point rekeys at the intervals given, from a second to a day; none
// given, it never rekeys.
TEST(WorldFile, RekeyIntervalsAreReadForWpaAndWpa2Networks) {
  const struct {
    const char* security;
    const char* words;
    std::int64_t groupMicros, pairwiseMicros;
  } cases[] = {
      {"wpa2-psk\n passphrase \"12345678\"", " group-rekey 1s\n pairwise-rekey 2.5s\n", 1'000'000, 2'500'000},
      {"wpa-psk\n passphrase \"12345678\"", " pairwise-rekey 86400s\n", 0, 86'400'000'000},
      {"wpa2-enterprise\n radius-secret s", " group-rekey 1500ms\n", 1'500'000, 0},
      {"wpa-enterprise\n radius-secret s", " group-rekey 3600\n", 3'600'000'000, 0},
      {"wpa-wpa2-psk\n passphrase \"12345678\"", "", 0, 0},
  };
  for (const auto& c : cases) {
    const World world = Parse(kAp + " security " + c.security + "\n" + c.words);
    ASSERT_EQ(world.accessPoints.size(), 1u) << c.security;
    const AccessPointConfig& config = world.accessPoints[0].config;
    EXPECT_EQ(config.groupRekeyInterval.count(), c.groupMicros) << c.security;
    EXPECT_EQ(config.pairwiseRekeyInterval.count(), c.pairwiseMicros) << c.security;
  }
}

// The chip's knobs are kept by name with their lines; the chip reads their values.
// CKIP in a WEP network: the flags go into the Aironet element (byte 10 from its ID) and the
// access point's configuration alike.
TEST(WorldFile, CcxCkipFlagsSetTheAironetElementAndTheDataPlane) {
  const struct {
    const char* words;
    std::uint8_t flags;
  } cases[] = {{"", 0}, {" kp", 0x10}, {" cmic", 0x08}, {" cmic kp", 0x18}};
  for (const auto& c : cases) {
    std::string error;
    const auto world = ParseWorld(std::string("ap a\n bssid 02:00:00:00:00:01\n ssid x\n security wep\n"
                                              " wep-key 1 0102030405\n ccx 4") + c.words + "\n",
                                  error);
    ASSERT_TRUE(world) << error;
    const AccessPointConfig& config = world->accessPoints[0].config;
    EXPECT_EQ(config.ckipFlags, c.flags) << c.words;
    ASSERT_FALSE(config.extraElements.empty());
    ASSERT_EQ(config.extraElements[0][0], 133);
    EXPECT_EQ(config.extraElements[0][10], c.flags) << c.words;
  }
}

// Auto Link: an open access point is not yet configured, a WPA-PSK one configured, as the
// maker's element says; vendor-mode keeps its byte.
TEST(WorldFile, SwiftBondAnnouncesAutoLinkByItsSecurityAndVendorModeKeepsItsByte) {
  const World world = Parse(kAp + " swiftbond\n vendor-mode 5\n" +
                            "ap b\n bssid 02:00:00:00:00:02\n ssid y\n swiftbond\n security wpa-psk\n"
                            " passphrase \"bonded before\"\n vendor 00:50:f2:04\n");
  ASSERT_EQ(world.accessPoints.size(), 2u);
  const WorldAccessPoint& open = world.accessPoints[0];
  EXPECT_TRUE(open.swiftBond);
  EXPECT_EQ(open.vendorMode, std::optional<std::uint8_t>(5));
  EXPECT_EQ(open.config.vendorElements, (std::vector<dot11::Bytes>{{0x02, 0x5A, 0x9C, 0x00, 0x00, 0x01}}));
  const WorldAccessPoint& bonded = world.accessPoints[1];
  EXPECT_FALSE(bonded.vendorMode);
  EXPECT_EQ(bonded.config.vendorElements,
            (std::vector<dot11::Bytes>{{0x00, 0x50, 0xF2, 0x04}, {0x02, 0x5A, 0x9C, 0x00, 0x00, 0x02}}));
  EXPECT_FALSE(Parse(kAp).accessPoints[0].swiftBond);
}

TEST(WorldFile, ChipKnobsAreKeptInOrderWithTheirLines) {
  const World world = Parse("chip-knob hold-transmit\n" + kAp + "chip-knob command-latency 5000\n");
  ASSERT_EQ(world.chipKnobs.size(), 2u);
  EXPECT_EQ(world.chipKnobs[0].name, "hold-transmit");
  EXPECT_EQ(world.chipKnobs[0].value, "");
  EXPECT_EQ(world.chipKnobs[0].line, 1u);
  EXPECT_EQ(world.chipKnobs[1].name, "command-latency");
  EXPECT_EQ(world.chipKnobs[1].value, "5000");
  EXPECT_EQ(world.chipKnobs[1].line, 5u);
  EXPECT_EQ(world.accessPoints.size(), 1u);  // the knob ended the access point before it
}

TEST(WorldFile, AnEmptyWorldIsAnEmptyAir) {
  EXPECT_TRUE(Parse("").accessPoints.empty());
  EXPECT_TRUE(Parse("# nothing\n\n   \n").accessPoints.empty());
}

TEST(WorldFile, ErrorsNameTheLineAndWhatIsWrong) {
  struct Case {
    std::string text;
    std::string error;
  };
  const Case cases[] = {
      {"\n\nfrobnicate 1\n", "line 3: unknown keyword 'frobnicate'"},
      {"ssid x\n", "line 1: 'ssid' outside an access point (start one with 'ap NAME')"},
      {"station ff:ff:ff:ff:ff:ff\n", "line 1: station must be a unicast address like 00:1e:4d:2d:17:01"},
      {"default-loss 201\n", "line 1: default-loss must be a whole number from 0 to 200"},
      {"default-loss\n", "line 1: 'default-loss' takes 1 value"},
      {"chip-knob\n", "line 1: 'chip-knob' takes a knob's name and maybe its value"},
      {"chip-knob a 1 2\n", "line 1: 'chip-knob' takes a knob's name and maybe its value"},
      {kSeventeenKnobs, "line 17: more than 16 chip knobs"},
      {"ap a\n ssid x\n", "line 1: access point 'a': no bssid"},
      {"ap a\n bssid 02:00:00:00:00:01\nap b\n", "line 1: access point 'a': no ssid"},
      {kAp + " bssid 02:00:00:00:00:02\n", "line 4: 'bssid' given twice for this access point"},
      {"ap a\n bssid 01:00:5e:00:00:01\n", "line 2: bssid must be a unicast address like 02:00:00:00:01:01"},
      {"ap a\n bssid 02:00:00:00:00:0\n", "line 2: bssid must be a unicast address like 02:00:00:00:01:01"},
      {kAp + "ap b\n bssid 02:00:00:00:00:01\n", "line 5: bssid already used by access point 'a'"},
      {kAp + "ap a\n", "line 4: access point 'a' defined twice"},
      {kAp + " ssid 0123456789012345678901234567890123\n", "line 4: 'ssid' given twice for this access point"},
      {"ap a\n ssid 012345678901234567890123456789012\n", "line 2: ssid has at most 32 bytes"},
      {kAp + " channel 0\n", "line 4: channel must be a whole number from 1 to 14"},
      {kAp + " channel 15\n", "line 4: channel must be a whole number from 1 to 14"},
      {kAp + " channel 6x\n", "line 4: channel must be a whole number from 1 to 14"},
      {kAp + " channel 99999999999999999999999\n", "line 4: channel must be a whole number from 1 to 14"},
      {kAp + " beacon-interval 0\n", "line 4: beacon-interval (TU) must be a whole number from 1 to 65535"},
      {kAp + " dtim 256\n", "line 4: dtim must be a whole number from 1 to 255"},
      {kAp + " rates 1 2\n", "line 4: rates need at least one basic rate (like 1b)"},
      {kAp + " rates 1b 3\n", "line 4: rate '3' is not one of 1 2 5.5 11 6 9 12 18 24 36 48 54 (b: basic)"},
      {kAp + " rates 1b 1\n", "line 4: rate '1' given twice"},
      {kAp + " rates\n", "line 4: rates takes 1 to 12 rates"},
      {kAp + " security wpa3\n",
       "line 4: security must be open, wep, wpa-psk, wpa2-psk, wpa-wpa2-psk, wpa2-enterprise or wpa-enterprise"},
      {kAp + " security wpa2-enterprise\n", "line 1: access point 'a': security wpa2-enterprise needs a radius-secret"},
      {kAp + " security wpa-enterprise\n", "line 1: access point 'a': security wpa-enterprise needs a radius-secret"},
      {kAp + " radius-port 1812\n",
       "line 1: access point 'a': radius-server, radius-port and radius-secret need security wpa2-enterprise or wpa-enterprise"},
      {kAp + " cckm\n", "line 1: access point 'a': cckm needs security wpa-enterprise"},
      {kAp + " security wpa2-enterprise\n radius-secret s\n cckm\n", "line 1: access point 'a': cckm needs security wpa-enterprise"},
      {kAp + " cckm yes\n", "line 4: 'cckm' takes 0 values"},
      {kAp + " bad-michael\n", "line 1: access point 'a': bad-michael needs security wpa-psk, wpa-wpa2-psk or wpa-enterprise"},
      {kAp + " security wpa2-psk\n passphrase \"12345678\"\n bad-michael\n",
       "line 1: access point 'a': bad-michael needs security wpa-psk, wpa-wpa2-psk or wpa-enterprise"},
      {kAp + " bad-michael 1\n", "line 4: 'bad-michael' takes 0 values"},
      {kAp + " group-rekey 10s\n", "line 1: access point 'a': group-rekey and pairwise-rekey need a WPA or WPA2 security"},
      {kAp + " security wep\n wep-key 1 0102030405\n pairwise-rekey 10s\n",
       "line 1: access point 'a': group-rekey and pairwise-rekey need a WPA or WPA2 security"},
      {kAp + " ibss\n security wpa2-psk\n passphrase \"12345678\"\n group-rekey 10s\n",
       "line 1: access point 'a': an IBSS peer has no key exchange to rekey"},
      {kAp + " group-rekey 999ms\n", "line 4: group-rekey must be a time like 30s, 2.5s or 1500ms, from 1s to one day"},
      {kAp + " pairwise-rekey 0\n", "line 4: pairwise-rekey must be a time like 30s, 2.5s or 1500ms, from 1s to one day"},
      {kAp + " pairwise-rekey 86400.000001s\n",
       "line 4: pairwise-rekey must be a time like 30s, 2.5s or 1500ms, from 1s to one day"},
      {kAp + " group-rekey soon\n", "line 4: group-rekey must be a time like 30s, 2.5s or 1500ms, from 1s to one day"},
      {kAp + " group-rekey\n", "line 4: 'group-rekey' takes 1 value"},
      {kAp + " group-rekey 2s\n group-rekey 3s\n", "line 5: 'group-rekey' given twice for this access point"},
      {"group-rekey 2s\n", "line 1: 'group-rekey' outside an access point (start one with 'ap NAME')"},
      {kAp + " ccx-measure channel-load 1 200\n", "line 1: access point 'a': ccx-measure needs ccx"},
      {kAp + " ccx-measure radar 1 200\n", "line 4: " + kCcxMeasureUsage},
      {kAp + " ccx-measure channel-load 1\n", "line 4: " + kCcxMeasureUsage},
      {kAp + " ccx-measure channel-load 1 200 active\n", "line 4: " + kCcxMeasureUsage},
      {kAp + " ccx-measure beacon 1 200\n", "line 4: " + kCcxMeasureUsage},
      {kAp + " ccx-measure beacon 1 200 loud\n", "line 4: a beacon measurement's scan mode is passive, active or table"},
      {kAp + " ccx-measure noise-histogram 15 200\n", "line 4: ccx-measure channel must be a whole number from 1 to 14"},
      {kAp + " ccx-measure noise-histogram 1 0\n",
       "line 4: ccx-measure duration (TU) must be a whole number from 1 to 65535"},
      {kAp + kNineMeasurements, "line 12: more than 8 ccx-measure lines"},
      {kAp + " radius-server localhost\n", "line 4: radius-server must be an IPv4 address"},
      {kAp + " radius-port 0\n", "line 4: radius-port must be a whole number from 1 to 65535"},
      {kAp + " radius-secret \"\"\n", "line 4: radius-secret must have 1 to 128 characters"},
      {kAp + " security wpa2-psk\n", "line 1: access point 'a': security wpa2-psk needs a passphrase"},
      {kAp + " passphrase \"long enough\"\n", "line 1: access point 'a': a passphrase needs security wpa-psk, wpa2-psk or wpa-wpa2-psk"},
      {kAp + " security wep\n", "line 1: access point 'a': security wep needs the key of wep-tx-key (default 1)"},
      {kAp + " security wep\n wep-key 2 0102030405\n", "line 1: access point 'a': security wep needs the key of wep-tx-key (default 1)"},
      {kAp + " wep-key 1 0102030405\n", "line 1: access point 'a': WEP keys need security wep"},
      {kAp + " wep-key 5 0102030405\n", "line 4: wep-key index must be a whole number from 1 to 4"},
      {kAp + " wep-key 1 01020304\n", "line 4: wep-key must be 10 or 26 hex digits"},
      {kAp + " wep-key 1 010203040\n", "line 4: wep-key must have an even number of hex digits"},
      {kAp + " wep-key 1 01020304zz\n", "line 4: wep-key must be hex digits"},
      {kAp + " wep-key 1 0102030405\n wep-key 1 0102030405\n", "line 5: wep-key 1 given twice"},
      {kAp + " vendor 0050\n", "line 4: vendor element has 3 to 255 bytes (OUI first)"},
      {kAp + " signal 1\n", "line 4: signal (dBm) must be a whole number from -120 to 0"},
      {kAp + " power 31\n", "line 4: power (dBm) must be a whole number from -10 to 30"},
      {kAp + " ccx 0\n", "line 4: ccx (version) must be a whole number from 1 to 255"},
      {kAp + " ccx-ap-power 31\n", "line 4: ccx-ap-power (dBm) must be a whole number from 0 to 30"},
      {kAp + " ccx\n", "line 4: 'ccx' takes a version, then kp and cmic (CKIP flags)"},
      {kAp + " ccx 4 kp cmic kp\n", "line 4: 'ccx' takes a version, then kp and cmic (CKIP flags)"},
      {kAp + " ccx 4 mic\n", "line 4: ccx CKIP flags are kp and cmic"},
      {kAp + " ccx 4 kp kp\n", "line 4: ccx CKIP flag kp given twice"},
      {kAp + " ccx 4 kp\n", "line 1: access point 'a': CKIP (ccx kp, cmic) needs security wep"},
      {kAp + " security wep\n wep-key 1 0102030405\n swiftbond\n",
       "line 1: access point 'a': swiftbond needs security open (not yet configured) or wpa-psk (configured by Auto Link)"},
      {kAp + " vendor 02:5a:9c:00:00:04\n swiftbond\n",
       "line 1: access point 'a': swiftbond announces its own Auto Link element: no vendor line for it"},
      {kAp + " ibss\n vendor-mode 1\n", "line 1: access point 'a': an IBSS peer has no swiftbond or vendor-mode"},
      {kAp + " swiftbond on\n", "line 4: 'swiftbond' takes 0 values"},
      {kAp + " vendor-mode 256\n", "line 4: vendor-mode must be a whole number from 0 to 255"},
      {kAp + " hidden yes\n", "line 4: 'hidden' takes 0 values"},
      {kAp + " ssid \"open\n", "line 4: quotes not closed"},
      {kAp + " ssid \"a\"b\n", "line 4: a space must follow closing quotes"},
      {kAp + " ssid a\"b\"\n", "line 4: quotes inside a word"},
      {kAp + " ssid \"a\\nb\"\n", "line 4: only \\\" and \\\\ may follow a backslash in quotes"},
      {kAp + " ssid a\x01" "b\n", "line 4: control character in the line"},
      {std::string("ap a\n ssid \"a\0b\"\n", 17), "line 2: control character in the line"},
      {kAp + std::string(5000, ' ') + "\n", "line 4: line longer than 4096 bytes"},
      {"at 1s nobody off\n", "line 1: no access point 'nobody' defined before this line"},
      {kAp + "at 1s a\n", "line 4: at takes a time, an access point and a change: signal DBM, off, on, deauth or disassoc"},
      {kAp + "at 1s a dim\n", "line 4: a change is 'signal DBM', 'off', 'on', 'deauth' or 'disassoc'"},
      {kAp + "at 1s a off now\n", "line 4: a change is 'signal DBM', 'off', 'on', 'deauth' or 'disassoc'"},
      {kAp + "at 1s a signal -200\n", "line 4: signal (dBm) must be a whole number from -120 to 0"},
      {kAp + "at 86401s a off\n", "line 4: time must be like 30s, 2.5s or 1500ms, at most one day"},
      {kAp + "at -1s a off\n", "line 4: time must be like 30s, 2.5s or 1500ms, at most one day"},
      {kAp + "at 1.s a off\n", "line 4: time must be like 30s, 2.5s or 1500ms, at most one day"},
      {kAp + "at 1.0000001s a off\n", "line 4: time must be like 30s, 2.5s or 1500ms, at most one day"},
      {kAp + "at 99999999999999999s a off\n", "line 4: time must be like 30s, 2.5s or 1500ms, at most one day"},
      {kAp + "at 1s a off\n channel 3\n", "line 5: 'channel' outside an access point (start one with 'ap NAME')"},
      {"ap\n", "line 1: 'ap' takes 1 value"},
      {"ap 012345678901234567890123456789012\n", "line 1: an access point's name has 1 to 32 characters"},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorOf(c.text), c.error) << c.text;
}

TEST(WorldFile, TheDemoHasEveryKindOfNetworkAndTwoEnterpriseAccessPoints) {
  std::string error;
  const auto world = LoadWorldFile(kWorlds + "/demo.world", error);
  ASSERT_TRUE(world) << error;
  std::vector<Security> kinds;
  for (const WorldAccessPoint& ap : world->accessPoints) kinds.push_back(ap.config.security);
  EXPECT_EQ(kinds, (std::vector<Security>{Security::Open, Security::Wep, Security::Wpa2, Security::Wpa,
                                          Security::Wpa2Enterprise, Security::Wpa2Enterprise}));
  const AccessPointConfig& east = world->accessPoints[4].config;
  EXPECT_EQ(east.ssid, world->accessPoints[5].config.ssid);
  EXPECT_EQ(east.radius.address, "127.0.0.1");
  EXPECT_EQ(east.radius.port, 1812);
  EXPECT_EQ(east.radius.secret.reveal(), "zelnic-demo-radius");
}

TEST(WorldFile, TooManyAccessPointsOrAFileTooLargeAreRefused) {
  std::string text;
  for (std::size_t i = 0; i <= WorldLimits::kMaxAccessPoints; ++i) {
    char line[96];
    std::snprintf(line, sizeof line, "ap a%zu\n bssid 02:00:00:00:%02zx:%02zx\n ssid x\n", i, i / 256, i % 256);
    text += line;
  }
  EXPECT_EQ(ErrorOf(text), "line 193: more than 64 access points");
  EXPECT_EQ(ErrorOf(std::string(WorldLimits::kMaxFileBytes + 1, '#')), "world larger than 1048576 bytes");
}

TEST(WorldFile, PassPhrasesAndKeysNeverAppearInErrors) {
  const std::string secrets[] = {"short", std::string(64, 'p'), "p\xC3\xA4sswort!", "0102030405AB"};
  for (const std::string& phrase : {secrets[0], secrets[1], secrets[2]}) {
    const std::string error = ErrorOf(kAp + " security wpa2-psk\n passphrase \"" + phrase + "\"\n");
    EXPECT_EQ(error, "line 5: passphrase must be 8 to 63 printable ASCII characters");
    EXPECT_EQ(error.find(phrase), std::string::npos);
  }
  const std::string error = ErrorOf(kAp + " security wep\n wep-key 1 " + secrets[3] + "\n");
  EXPECT_EQ(error.find(secrets[3]), std::string::npos);
}

TEST(WorldFile, AFileThatCannotBeReadSaysSoAndErrorsCarryItsPath) {
  std::string error;
  EXPECT_FALSE(LoadWorldFile("/nonexistent/x.world", error));
  EXPECT_EQ(error, "cannot read /nonexistent/x.world: No such file or directory");
  EXPECT_FALSE(LoadWorldFile(kWorlds, error));
  EXPECT_EQ(error, "cannot read " + kWorlds + ": not a regular file");

  const std::string path = ::testing::TempDir() + "/bad.world";
  std::ofstream(path) << "# fine\nap a\n channel 40\n";
  EXPECT_FALSE(LoadWorldFile(path, error));
  EXPECT_EQ(error, path + ":3: channel must be a whole number from 1 to 14");
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace simair
