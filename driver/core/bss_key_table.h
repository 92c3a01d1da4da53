#pragma once
// The per-BSS key tables: five key entries for each access point the station holds keys for
// (entries 0..3 by key identifier, 0 also holding the pairwise key; the fifth is only ever
// wiped). They are kept by BSSID beside the BSS table rather than inside its directory,
// which every scan empties: the keys of the current network outlive a background scan.
#include <cstdint>

#include "driver/core/key_table.h"

namespace zelnic::core {

inline constexpr std::uint32_t kBssKeyEntries = 5;
inline constexpr std::uint32_t kBssKeyTableCount = 4;

struct BssKeyTable {
  std::uint8_t bssid[6] = {};
  bool inUse = false;
  bool groupKeyInstalled = false;  // a group key came for this BSS
  KeyEntry entries[kBssKeyEntries];
};

class BssKeyTables {
 public:
  ~BssKeyTables() { Clear(); }

  BssKeyTable* Find(const std::uint8_t bssid[6]);
  // The table of `bssid`; without one, a free table, else the first that is not `keep`'s
  // (its keys wiped first).
  BssKeyTable& Claim(const std::uint8_t bssid[6], const std::uint8_t keep[6]);
  // A checked key record: the pairwise key to entry 0, a group key to its identifier's entry.
  static void Install(BssKeyTable& table, const KeyInstall& install, const std::uint8_t ownAddress[6]);
  // Zeroes entry 0 for a pairwise KeyIndex (bit 30), else the identifier's (at most 3).
  static void Remove(BssKeyTable& table, std::uint32_t keyIndex);
  // Every table wiped and free.
  void Clear();

 private:
  BssKeyTable tables_[kBssKeyTableCount];
};

}  // namespace zelnic::core
