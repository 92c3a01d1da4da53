#include "driver/core/bss_key_table.h"

#include <cstring>

namespace zelnic::core {
namespace {

constexpr std::uint32_t kPairwiseBit = 0x40000000u;
constexpr std::uint32_t kAuthenticatorBit = 0x10000000u;

void Wipe(BssKeyTable& table) {
  WipeKeyBytes(table.entries, sizeof table.entries);
  table = BssKeyTable{};
}

}  // namespace

BssKeyTable* BssKeyTables::Find(const std::uint8_t bssid[6]) {
  for (BssKeyTable& table : tables_) {
    if (table.inUse && std::memcmp(table.bssid, bssid, 6) == 0) return &table;
  }
  return nullptr;
}

BssKeyTable& BssKeyTables::Claim(const std::uint8_t bssid[6], const std::uint8_t keep[6]) {
  if (BssKeyTable* table = Find(bssid)) return *table;
  BssKeyTable* chosen = nullptr;
  for (BssKeyTable& table : tables_) {
    if (!table.inUse) {
      chosen = &table;
      break;
    }
    if (chosen == nullptr && std::memcmp(table.bssid, keep, 6) != 0) chosen = &table;
  }
  if (chosen == nullptr) chosen = &tables_[0];  // only when every table is keep's: cannot happen
  Wipe(*chosen);
  std::memcpy(chosen->bssid, bssid, 6);
  chosen->inUse = true;
  return *chosen;
}

void BssKeyTables::Install(BssKeyTable& table, const KeyInstall& install, const std::uint8_t ownAddress[6]) {
  KeyEntry& entry = table.entries[install.pairwise ? 0 : install.id];
  FillKeyEntry(entry, install, ownAddress, false);
  if ((install.keyIndex & kAuthenticatorBit) != 0) entry.flags |= kKeyFromAuthenticator;
  if (!install.pairwise) table.groupKeyInstalled = true;
}

void BssKeyTables::Remove(BssKeyTable& table, std::uint32_t keyIndex) {
  KeyEntry& entry = table.entries[(keyIndex & kPairwiseBit) != 0 ? 0 : (keyIndex & 3)];
  WipeKeyBytes(&entry, sizeof entry);
}

void BssKeyTables::Clear() {
  for (BssKeyTable& table : tables_) Wipe(table);
}

}  // namespace zelnic::core
