// The utility's 152-byte BSSID records from the core's entries.
#include "driver/ndis/utility_bssid_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<UCHAR>;

ULONG WordAt(const Bytes& bytes, std::size_t offset) {
  ULONG value;
  std::memcpy(&value, bytes.data() + offset, 4);
  return value;
}

// A core list of entries on the given frequencies, rates filled up to `rates` bytes.
Bytes List(std::initializer_list<std::pair<ULONG, int>> entries) {
  Bytes list(4 + 104 * entries.size());
  const ULONG count = static_cast<ULONG>(entries.size());
  std::memcpy(list.data(), &count, 4);
  std::size_t i = 0;
  for (auto [kilohertz, rates] : entries) {
    UCHAR* entry = list.data() + 4 + 104 * i;
    const ULONG length = 104;
    std::memcpy(entry, &length, 4);
    entry[4] = static_cast<UCHAR>(0x10 + i);  // first byte of the MAC address
    std::memcpy(entry + 72, &kilohertz, 4);
    for (int r = 0; r < rates; ++r) entry[96 + r] = 0x82;
    ++i;
  }
  return list;
}

TEST(UtilityBssidList, EachEntryBecomesA152ByteRecordWithChannelFlagAndExtra) {
  const Bytes list = List({{2'412'000, 4}, {2'484'000, 8}});
  Bytes extras(2 * 33);
  extras[0] = 1;
  for (int b = 1; b < 33; ++b) extras[b] = static_cast<UCHAR>(b);
  extras[33] = 0;  // the second BSS has no extra data
  extras[34] = 0x77;
  Bytes out(4 + 2 * 152, 0xEE);
  ASSERT_EQ(FormatBssidListForUtility(list.data(), static_cast<ULONG>(list.size()), extras.data(), out.data(),
                                      static_cast<ULONG>(out.size())),
            4u + 2 * 152);
  EXPECT_EQ(WordAt(out, 0), 2u);
  EXPECT_EQ(WordAt(out, 4), 152u);
  EXPECT_EQ(out[8], 0x10);                    // the entry after its length word
  EXPECT_EQ(WordAt(out, 4 + 104), 0u);        // eight zero bytes
  EXPECT_EQ(WordAt(out, 4 + 112), 1u);        // at most five rates
  EXPECT_EQ(WordAt(out, 4 + 116), 1u);        // 2,412 MHz
  EXPECT_EQ(out[4 + 120], 1);
  EXPECT_EQ(out[4 + 151], 32);
  const std::size_t second = 4 + 152;
  EXPECT_EQ(WordAt(out, second + 112), 0u);   // eight rates
  EXPECT_EQ(WordAt(out, second + 116), 14u);  // 2,484 MHz
  EXPECT_EQ(out[second + 120], 0);            // extra record not marked
}

TEST(UtilityBssidList, TheCountIsCutToTheListAndTheOutput) {
  Bytes list = List({{2'437'000, 2}, {2'437'000, 2}, {2'437'000, 2}});
  Bytes out(4 + 152 * 2 + 151);
  EXPECT_EQ(FormatBssidListForUtility(list.data(), static_cast<ULONG>(list.size()), nullptr, out.data(),
                                      static_cast<ULONG>(out.size())),
            4u + 2 * 152);
  EXPECT_EQ(WordAt(out, 0), 2u);
  // A count larger than the entries that came.
  const ULONG lie = 50;
  std::memcpy(list.data(), &lie, 4);
  Bytes big(4 + 152 * 60);
  EXPECT_EQ(FormatBssidListForUtility(list.data(), static_cast<ULONG>(list.size()), nullptr, big.data(),
                                      static_cast<ULONG>(big.size())),
            4u + 3 * 152);
  EXPECT_EQ(FormatBssidListForUtility(list.data(), 3, nullptr, big.data(), static_cast<ULONG>(big.size())), 4u);
  EXPECT_EQ(FormatBssidListForUtility(list.data(), static_cast<ULONG>(list.size()), nullptr, big.data(), 3), 0u);
}

}  // namespace
