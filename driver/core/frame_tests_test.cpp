#include "driver/core/frame_tests.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "driver/core/core_adapter.h"

namespace zelnic::core {
namespace {

std::vector<std::uint8_t> Frame(std::uint8_t fc0, std::uint8_t flags, std::uint8_t sequence0 = 0) {
  std::vector<std::uint8_t> frame(64, 0);
  frame[2] = fc0;
  frame[3] = flags;
  frame[kSequenceControl] = sequence0;
  return frame;
}

TEST(FrameTests, FragmentsAndFrameTypes) {
  struct Case {
    std::uint8_t fc0, flags, sequence0;
    bool fragment, dataOrControl;
  };
  const Case cases[] = {
      {0x08, 0x00, 0x00, false, true},  {0x08, 0x04, 0x00, true, true},  {0x08, 0x00, 0x03, true, true},
      {0x08, 0x00, 0x10, false, true},  {0x80, 0x00, 0x00, false, false}, {0xB4, 0x00, 0x00, false, true},
  };
  for (const Case& c : cases) {
    const auto frame = Frame(c.fc0, c.flags, c.sequence0);
    EXPECT_EQ(IsFragment(frame.data()), c.fragment) << int(c.fc0) << " " << int(c.flags) << " " << int(c.sequence0);
    EXPECT_EQ(IsDataOrControlFrame(frame.data()), c.dataOrControl) << int(c.fc0);
  }
}

TEST(FrameTests, TheSwiftBondHeaderNeedsItsWholeEightBytes) {
  auto frame = Frame(0x08, 0x01);
  const std::uint8_t header[] = {0xAA, 0xAA, 0x03, 0x02, 0x5A, 0x9C, 0x00, 0x01};
  std::copy(std::begin(header), std::end(header), frame.begin() + kChipHeaderBytes);
  EXPECT_TRUE(HasSwiftBondHeader(frame.data(), 40));
  EXPECT_TRUE(IsManagementOrVendorFrame(frame.data(), 40));
  EXPECT_FALSE(HasSwiftBondHeader(frame.data(), 39));
  frame[kChipHeaderBytes + 7] = 0x02;
  EXPECT_FALSE(IsManagementOrVendorFrame(frame.data(), 40));
}

TEST(FrameTests, FromTheCurrentBssByStateAndAddress) {
  const MacAddress bssid = {0x00, 0x1E, 0x4D, 0x00, 0x00, 0x01};
  const MacAddress other = {0x00, 0x1E, 0x4D, 0x00, 0x00, 0x02};
  const MacAddress broadcast = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const MacAddress station = {0x02, 0x00, 0x00, 0x00, 0x00, 0x09};
  struct Case {
    const char* name;
    std::uint16_t state;
    std::uint8_t fc0;
    MacAddress a1, a2, a3;
    bool fromBss, unicastFromBss;
  };
  const Case cases[] = {
      {"associated, data from the AP", 5, 0x08, station, bssid, other, false, true},
      {"associated, data relayed for the BSS", 5, 0x08, station, other, bssid, true, false},
      {"associated, broadcast from the AP", 5, 0x08, broadcast, bssid, bssid, true, false},
      {"associated, beacon", 5, 0x80, broadcast, bssid, bssid, true, false},
      {"IBSS joined, data in the BSS", 9, 0x08, station, other, bssid, true, true},
      {"IBSS joined, data of another BSS", 9, 0x08, station, bssid, other, false, false},
      {"not connected", 0, 0x08, station, bssid, bssid, false, false},
  };
  auto core = std::make_unique<CoreAdapter>();
  core->Bssid = bssid;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    core->MlmeState = c.state;
    auto frame = Frame(c.fc0, 0);
    std::copy(c.a1.begin(), c.a1.end(), frame.begin() + kAddress1);
    std::copy(c.a2.begin(), c.a2.end(), frame.begin() + kAddress2);
    std::copy(c.a3.begin(), c.a3.end(), frame.begin() + kAddress3);
    EXPECT_EQ(IsFromCurrentBss(core.get(), frame.data()), c.fromBss);
    EXPECT_EQ(IsUnicastFromBss(core.get(), frame.data()), c.unicastFromBss);
  }
}

}  // namespace
}  // namespace zelnic::core
