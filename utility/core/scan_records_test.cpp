#include "utility/core/scan_records.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zelcon {
namespace {

void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); }

std::vector<uint8_t> List(uint32_t count, const std::vector<std::pair<uint32_t, uint32_t>>& entries) {
  // entries: (Length, SsidLength); each gets its index as RSSI to tell them apart.
  std::vector<uint8_t> b(4);
  PutU32(b, 0, count);
  int32_t index = 0;
  for (auto [length, ssidLength] : entries) {
    size_t at = b.size();
    b.resize(at + length);
    if (length >= 4) PutU32(b, at, length);
    if (length >= 16) PutU32(b, at + 12, ssidLength);
    if (length >= 56) std::memcpy(b.data() + at + 52, &index, 4);
    ++index;
  }
  return b;
}

TEST(ScanRecords, WalksOnlyWhileEntriesLieWithinTheBuffer) {
  struct Case {
    const char* what;
    std::vector<uint8_t> buffer;
    size_t entries;
  };
  std::vector<uint8_t> truncated = List(2, {{152, 4}, {152, 4}});
  truncated.resize(4 + 152 + 100);
  const Case cases[] = {
      {"count 0", List(0, {{152, 4}}), 0},
      {"two entries", List(2, {{152, 4}, {152, 5}}), 2},
      {"count larger than the entries", List(9, {{152, 4}}), 1},
      {"entry shorter than the fields read", List(2, {{152, 4}, {100, 4}}), 1},
      {"zero length does not loop", List(3, {{0, 0}}), 0},
      {"entry past the end", truncated, 1},
      {"longer entries step by their length", List(2, {{200, 4}, {152, 4}}), 2},
      {"no count word", std::vector<uint8_t>(3), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<SCAN_LIST_ENTRY> entries = ParseScanList(c.buffer);
    ASSERT_EQ(entries.size(), c.entries);
    for (size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(entries[i].Rssi, int32_t(i));
  }
}

TEST(ScanRecords, OverlongSsidIsSkippedButTheNextEntryIsFound) {
  std::vector<SCAN_LIST_ENTRY> entries = ParseScanList(List(2, {{152, 33}, {152, 4}}));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_FALSE(ScanEntrySsid(entries[0]));
  ASSERT_TRUE(ScanEntrySsid(entries[1]));
  EXPECT_EQ(ScanEntrySsid(entries[1])->size(), 4u);
}

TEST(ScanRecords, ExtendedListElementsStayWithinTheirEntry) {
  std::vector<uint8_t> b(4);
  PutU32(b, 0, 2);
  auto add = [&](std::vector<uint8_t> ies, uint32_t ieLength, uint32_t extra) {
    size_t at = b.size();
    b.resize(at + sizeof(ZELCON_BSSID_EX_HEAD) + ies.size() + extra);
    PutU32(b, at, static_cast<uint32_t>(sizeof(ZELCON_BSSID_EX_HEAD) + ies.size() + extra));
    PutU32(b, at + 112, ieLength);
    std::memcpy(b.data() + at + 116, ies.data(), ies.size());
  };
  std::vector<uint8_t> fixed(12, 0);
  std::vector<uint8_t> rsn = fixed;
  rsn.insert(rsn.end(), {0x30, 2, 1, 0, 0xDD, 9, 1});  // the second element runs past its entry
  add(rsn, static_cast<uint32_t>(rsn.size()), 0);
  add(fixed, 4000, 0);  // IELength beyond the entry is cut to the entry
  std::vector<ExtendedScanEntry> entries = ParseExtendedScanList(b, static_cast<uint32_t>(b.size()));
  ASSERT_EQ(entries.size(), 2u);
  std::vector<int> ids;
  ForEachElement(entries[0].elements, [&](uint8_t id, std::span<const uint8_t> body) {
    ids.push_back(id);
    EXPECT_EQ(body.size(), 2u);
    return true;
  });
  EXPECT_EQ(ids, std::vector<int>{0x30});
  EXPECT_TRUE(entries[1].elements.empty());
  // Only the bytes the library reported count.
  EXPECT_EQ(ParseExtendedScanList(b, 200).size(), 1u);
}

}  // namespace
}  // namespace zelcon
