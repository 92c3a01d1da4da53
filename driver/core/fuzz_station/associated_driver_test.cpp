#include "driver/core/fuzz_station/associated_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "driver/core/frame_tests.h"
#include "driver/core/station_management.h"
#include "driver/hal/hal_adapter.h"

namespace zelnic::testing {
namespace {

AssociatedDriver& Fixture() {
  static AssociatedDriver& fixture = []() -> AssociatedDriver& {
    AssociatedDriver& f = AssociatedDriver::Get();
    f.takeReceiveRecords([](HalAdapter*, ReceiveRecord*) {});
    return f;
  }();
  return fixture;
}

// A deauthentication from the access point to the station, in the chip layout.
void ReceiveDeauthentication(CoreAdapter* core) {
  std::vector<std::uint8_t> frame(2032, 0);
  frame[0] = 2;  // body: the reason code
  frame[2] = 0xC0;
  std::memcpy(frame.data() + core::kAddress1, core->StationAddress.data(), 6);
  std::memcpy(frame.data() + core::kAddress2, AssociatedDriver::kBssid, 6);
  std::memcpy(frame.data() + core::kAddress3, AssociatedDriver::kBssid, 6);
  frame[core::kChipHeaderBytes] = 1;
  ReceiveRecord record{{nullptr}, frame.data(), core::kChipHeaderBytes + 2, 2032};
  CoreOps(core).Receive(core, &record);
  EXPECT_NE(core->MlmeState, core::kMlmeAssociated);  // the input did tear the association down
}

void ScanChannel1(CoreAdapter* core) {
  core::ScanRequest request;
  request.channels[0] = 1;
  EXPECT_EQ(core::StartScan(core, request), 2u);
}

void InstallPairwiseKey(CoreAdapter* core) {
  std::uint8_t record[48] = {};
  const std::uint32_t words[3] = {48, 0xC0000000, 16};
  std::memcpy(record, words, sizeof words);
  std::memcpy(record + 12, AssociatedDriver::kBssid, 6);
  ASSERT_EQ(core->Keys.AddKey(record, sizeof record, core->StationAddress.data(), false), core::KeyRefusal::kNone);
}

struct Case {
  const char* name;
  std::function<void(CoreAdapter*)> input;
};
void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class AssociatedDriverTest : public ::testing::TestWithParam<Case> {};

// Whatever an input did, the next one finds the station associated with the access point,
// its tables empty of keys, no command or timer outstanding, the firmware on the network.
TEST_P(AssociatedDriverTest, TheNextInputStartsFromTheAssociation) {
  AssociatedDriver& fixture = Fixture();
  fixture.run(GetParam().input);
  fixture.run([](CoreAdapter* core) {
    EXPECT_EQ(core->MlmeState, core::kMlmeAssociated);
    EXPECT_TRUE(std::equal(AssociatedDriver::kBssid, AssociatedDriver::kBssid + 6, core->Bssid.begin()));
    EXPECT_EQ(core->MediaDisconnected, 0);
    EXPECT_EQ(core->Flags, 0u);
    EXPECT_EQ(core->Keys.KeysInstalled(), 0u);
  });
  EXPECT_EQ(fixture.harness().scheduler.queuedCount(), 0u);
  EXPECT_EQ(fixture.hal()->commands.freeCount, hal::kCommandBuffers);
  const simchip::FirmwareSettings& firmware = fixture.harness().chip.firmware().settings();
  EXPECT_TRUE(firmware.infrastructure);
  EXPECT_FALSE(firmware.scanning);
  EXPECT_EQ(firmware.channel, 6);
}

// The same input twice sends the firmware the same commands: nothing of the first run
// changes what the second does.
TEST_P(AssociatedDriverTest, AnInputRunTwiceSendsTheSameCommands) {
  AssociatedDriver& fixture = Fixture();
  simchip::SimChip& chip = fixture.harness().chip;
  chip.logCommands(true);
  std::vector<std::vector<std::vector<std::uint8_t>>> runs;
  for (int run = 0; run < 2; ++run) {
    const std::size_t before = chip.commands().size();
    fixture.run(GetParam().input);
    auto& records = runs.emplace_back();
    for (std::size_t i = before; i < chip.commands().size(); ++i) records.push_back(chip.commands()[i].record);
  }
  chip.logCommands(false);
  EXPECT_EQ(runs[0], runs[1]);
}

INSTANTIATE_TEST_SUITE_P(Inputs, AssociatedDriverTest,
                         ::testing::Values(Case{"Deauthentication", &ReceiveDeauthentication},
                                           Case{"ScanOfAnotherChannel", &ScanChannel1},
                                           Case{"PairwiseKey", &InstallPairwiseKey}),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zelnic::testing
