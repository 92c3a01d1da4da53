// ADD_KEY and REMOVE_KEY records against the adapter key table, with their refusals.
#include "driver/core/key_table.h"

#include "driver/core/bss_key_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace zelnic::core;

namespace {

const std::uint8_t kOwn[6] = {0x02, 0, 0, 0, 0, 0x01};

// An NDIS_802_11_KEY record: material bytes are 0x40 + i so their placement shows.
std::vector<std::uint8_t> KeyRecord(std::uint32_t keyIndex, std::uint32_t keyLength, std::uint64_t rsc = 0) {
  std::vector<std::uint8_t> r(kAddKeyFixedBytes + keyLength);
  const std::uint32_t words[3] = {static_cast<std::uint32_t>(r.size()), keyIndex, keyLength};
  for (int w = 0; w < 3; ++w)
    for (int i = 0; i < 4; ++i) r[4 * w + i] = static_cast<std::uint8_t>(words[w] >> (8 * i));
  for (int i = 0; i < 6; ++i) r[12 + i] = static_cast<std::uint8_t>(0xB0 + i);
  for (int i = 0; i < 8; ++i) r[24 + i] = static_cast<std::uint8_t>(rsc >> (8 * i));
  for (std::uint32_t i = 0; i < keyLength; ++i) r[kAddKeyFixedBytes + i] = static_cast<std::uint8_t>(0x40 + i);
  return r;
}

TEST(KeyTable, AddKeyRefusesBadRecordsAndChangesNothing) {
  struct Case {
    const char* name;
    std::uint32_t keyIndex, keyLength;
    int cut;  // bytes taken off the record's end
    KeyRefusal expected;
  };
  const Case kCases[] = {
      {"material cut by one byte", 0xC0000000u, 16, 1, KeyRefusal::kRecordTooShort},
      {"only the 26 bytes the old check wanted", 0xC0000000u, 5, 11, KeyRefusal::kRecordTooShort},
      {"key of 4 bytes", 0x80000001u, 4, 0, KeyRefusal::kBadKeyLength},
      {"key of 33 bytes", 0x80000001u, 33, 0, KeyRefusal::kBadKeyLength},
      {"pairwise with identifier 1", 0xC0000001u, 16, 0, KeyRefusal::kPairwiseNotId0},
      {"pairwise bit without transmit", 0x40000000u, 16, 0, KeyRefusal::kPairwiseNoTransmit},
      {"group identifier 4", 0x80000004u, 16, 0, KeyRefusal::kBadKeyId},
  };
  for (const Case& c : kCases) {
    AdapterKeyTable table;
    std::vector<std::uint8_t> r = KeyRecord(c.keyIndex, c.keyLength);
    EXPECT_EQ(table.AddKey(r.data(), static_cast<std::uint32_t>(r.size() - c.cut), kOwn, false), c.expected) << c.name;
    EXPECT_EQ(table.KeysInstalled(), 0u) << c.name;
    for (std::uint32_t slot = 0; slot < 4; ++slot) EXPECT_EQ(table.Entry(slot).flags, 0) << c.name;
  }
}

TEST(KeyTable, AddKeyPlacesKeysByTheirFlagBits) {
  struct Case {
    const char* name;
    std::uint32_t keyIndex;
    bool wpaNone;
    std::uint32_t slot;
    std::uint16_t flags;
    std::uint8_t michaelTx, michaelRx;  // first byte of each Michael key
  };
  const Case kCases[] = {
      {"pairwise, set by us", 0xC0000000u, false, 0, kKeyValid | kKeyPairwise, 0x58, 0x50},
      {"pairwise, set by an authenticator", 0xD0000000u, false, 0, kKeyValid | kKeyPairwise, 0x50, 0x58},
      {"receive-only group with identifier 0", 0x00000000u, false, 1, kKeyValid | kKeyReceiveOnly, 0x58, 0x50},
      {"receive-only group 2", 0x00000002u, false, 2, kKeyValid | kKeyReceiveOnly, 0x58, 0x50},
      {"transmit group 3", 0x80000003u, false, 3, kKeyValid, 0x58, 0x50},
      {"WPA-None group: entry 0, one Michael key both ways", 0x80000002u, true, 0, kKeyValid, 0x50, 0x50},
  };
  for (const Case& c : kCases) {
    AdapterKeyTable table;
    std::vector<std::uint8_t> r = KeyRecord(c.keyIndex | 0x20000000u, 32, 0x0000123456789ABCull);
    ASSERT_EQ(table.AddKey(r.data(), static_cast<std::uint32_t>(r.size()), kOwn, c.wpaNone), KeyRefusal::kNone)
        << c.name;
    const KeyEntry& e = table.Entry(c.slot);
    EXPECT_EQ(e.flags, c.flags) << c.name;
    EXPECT_EQ(e.keyLength, 32) << c.name;
    EXPECT_EQ(e.temporalKey[0], 0x40) << c.name;
    EXPECT_EQ(e.temporalKey[15], 0x4F) << c.name;
    EXPECT_EQ(e.michaelTransmitKey[0], c.michaelTx) << c.name;
    EXPECT_EQ(e.michaelReceiveKey[0], c.michaelRx) << c.name;
    EXPECT_EQ(e.michaelTransmitKey[7], c.michaelTx + 7) << c.name;
    EXPECT_EQ(e.receiveCounter, 0x123456789ABCull) << c.name;  // KeyRSC given: both counters
    EXPECT_EQ(e.transmitCounter, 0x123456789ABCull) << c.name;
    EXPECT_EQ(e.bssid[0], 0xB0) << c.name;
    EXPECT_EQ(e.stationAddress[5], 0x01) << c.name;
    EXPECT_EQ(table.KeysInstalled(), 1u) << c.name;
  }
}

TEST(KeyTable, DefaultIdsCountsAndRemoval) {
  AdapterKeyTable table;
  std::vector<std::uint8_t> pairwise = KeyRecord(0xC0000000u, 16);  // CCMP: no Michael keys, no RSC
  std::vector<std::uint8_t> group = KeyRecord(0x00000002u, 16);
  ASSERT_EQ(table.AddKey(pairwise.data(), static_cast<std::uint32_t>(pairwise.size()), kOwn, false), KeyRefusal::kNone);
  ASSERT_EQ(table.AddKey(group.data(), static_cast<std::uint32_t>(group.size()), kOwn, false), KeyRefusal::kNone);
  EXPECT_EQ(table.KeysInstalled(), 2u);
  EXPECT_EQ(table.TransmitKeyId(), 0);
  EXPECT_EQ(table.GroupKeyId(), 2);
  EXPECT_EQ(table.Entry(0).michaelTransmitKey[0], 0);
  EXPECT_EQ(table.Entry(0).receiveCounter, 0u);

  EXPECT_EQ(table.RemoveKey(0xFFFFFFFFu), KeyRefusal::kTransmitBitOnRemove);
  EXPECT_EQ(table.RemoveKey(0x00000004u), KeyRefusal::kBadKeyId);
  EXPECT_NE(table.Entry(0).flags, 0);
  EXPECT_EQ(table.RemoveKey(0x40000000u), KeyRefusal::kNone);  // the pairwise key
  EXPECT_EQ(table.Entry(0).flags, 0);
  EXPECT_EQ(table.Entry(0).keyMaterial[0], 0);
  EXPECT_NE(table.Entry(2).flags, 0);
  EXPECT_EQ(table.RemoveKey(2), KeyRefusal::kNone);
  EXPECT_EQ(table.Entry(2).flags, 0);
}

// The per-BSS tables: keys by role, the authenticator's mark, removal, and a full set of
// tables that makes room without giving up the current network's.
TEST(BssKeyTables, KeysGoByRoleAndTheCurrentNetworksTableIsNeverGivenUp) {
  BssKeyTables tables;
  const std::uint8_t current[6] = {0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5};
  BssKeyTable& own = tables.Claim(current, current);
  struct Case {
    std::uint32_t keyIndex;
    std::uint32_t entry;
    std::uint16_t flags;
    bool groupKey;
  };
  const Case kCases[] = {
      {0xC0000000u, 0, kKeyValid | kKeyPairwise, false},
      {0xD0000000u, 0, kKeyValid | kKeyPairwise | kKeyFromAuthenticator, false},
      {0x00000000u, 1, kKeyValid | kKeyReceiveOnly, true},
      {0x80000003u, 3, kKeyValid, true},
  };
  for (const Case& c : kCases) {
    std::vector<std::uint8_t> r = KeyRecord(c.keyIndex, 16);
    KeyInstall install;
    ASSERT_EQ(ReadKeyRecord(r.data(), static_cast<std::uint32_t>(r.size()), install), KeyRefusal::kNone);
    BssKeyTables::Install(own, install, kOwn);
    EXPECT_EQ(own.entries[c.entry].flags, c.flags) << std::hex << c.keyIndex;
    EXPECT_EQ(own.entries[c.entry].keyMaterial[15], 0x4F) << std::hex << c.keyIndex;
    EXPECT_EQ(own.groupKeyInstalled, c.groupKey) << std::hex << c.keyIndex;
  }
  BssKeyTables::Remove(own, 0x40000000u);
  EXPECT_EQ(own.entries[0].flags, 0);
  EXPECT_EQ(own.entries[0].keyMaterial[0], 0);
  BssKeyTables::Remove(own, 3);
  EXPECT_EQ(own.entries[3].flags, 0);
  EXPECT_NE(own.entries[1].flags, 0);

  // Every other table taken, then one more access point: an old one makes room, ours stays.
  for (std::uint8_t i = 1; i <= kBssKeyTableCount; ++i) {
    const std::uint8_t other[6] = {0x02, 0, 0, 0, 0, i};
    BssKeyTable& table = tables.Claim(other, current);
    EXPECT_EQ(table.entries[0].flags, 0);
    EXPECT_EQ(0, std::memcmp(table.bssid, other, 6));
  }
  ASSERT_EQ(tables.Find(current), &own);
  EXPECT_NE(own.entries[1].flags, 0);
  tables.Clear();
  EXPECT_EQ(tables.Find(current), nullptr);
  EXPECT_EQ(own.entries[1].keyMaterial[0], 0);
}

}  // namespace
