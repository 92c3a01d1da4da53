#include "driver/core/ccx_beacon_elements.h"

#include <gtest/gtest.h>

#include <vector>

namespace zelnic::core {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes TxPower(std::uint8_t dbm) { return {150, 6, 0x00, 0x40, 0x96, 0x00, dbm, 0}; }

TEST(CcxBeaconElements, TheApPowerLimitLowersTheLevel) {
  struct Case {
    std::uint8_t dbm;
    std::uint32_t current;
    std::optional<std::uint32_t> level;
  } cases[] = {
      {7, 4, 1},              // 7 dBm: level 1
      {2, 4, 1},              // below 5 dBm: still 1
      {17, 4, 3},             // 17 dBm: level 3
      {19, 4, 3},             // never above 3
      {20, 4, std::nullopt},  // at the current level's power: unchanged
      {12, 2, std::nullopt},
  };
  for (const Case& c : cases) {
    const Bytes e = TxPower(c.dbm);
    EXPECT_EQ(CappedTxPowerLevel(e.data(), static_cast<std::uint32_t>(e.size()), c.current), c.level)
        << static_cast<int>(c.dbm);
  }
  Bytes wrongOui = TxPower(7);
  wrongOui[4] = 0x97;
  EXPECT_EQ(CappedTxPowerLevel(wrongOui.data(), 8, 4), std::nullopt);
  EXPECT_EQ(CappedTxPowerLevel(TxPower(7).data(), 7, 4), std::nullopt);  // cut short
}

TEST(CcxBeaconElements, VersionAndAironet) {
  const Bytes version = {221, 5, 0x00, 0x40, 0x96, 0x03, 4};
  EXPECT_EQ(CcxVersion(version.data(), 7), 4);
  EXPECT_EQ(CcxVersion(version.data(), 6), std::nullopt);

  // Offsets from the element's ID byte; the neighbours of each field carry other values, so a
  // reader one field off sees them instead.
  Bytes aironet(2 + 28, 0xA5);
  aironet[0] = 133;
  aironet[1] = 28;
  aironet[6] = 15;  // CWmin 15: exponent 4
  aironet[7] = 0;
  aironet[8] = 0xFF;  // CWmax 1023: exponent 10
  aironet[9] = 0x03;
  aironet[10] = 0xFF;  // only the CKIP bits count
  aironet[12] = 0x00;
  const auto info = ParseAironetElement(aironet.data(), static_cast<std::uint32_t>(aironet.size()));
  ASSERT_TRUE(info);
  EXPECT_EQ(info->ckipFlags, 0x18);
  EXPECT_EQ(info->cwMinExponent, 4);
  EXPECT_EQ(info->cwMaxExponent, 10);
  aironet[10] = 0x10;
  EXPECT_EQ(ParseAironetElement(aironet.data(), static_cast<std::uint32_t>(aironet.size()))->ckipFlags, 0x10);
  aironet[1] = 27;  // not above 27
  EXPECT_FALSE(ParseAironetElement(aironet.data(), static_cast<std::uint32_t>(aironet.size())));
  aironet[1] = 40;  // claims more than there is
  EXPECT_FALSE(ParseAironetElement(aironet.data(), static_cast<std::uint32_t>(aironet.size())));
}

}  // namespace
}  // namespace zelnic::core
