#include "driver/core/key_installs.h"

#include <cstring>

#include "driver/core/bss_table.h"
#include "driver/core/ckip_data_path.h"
#include "driver/core/core_adapter.h"
#include "driver/core/data_ciphers.h"
#include "driver/core/pending_frame.h"
#include "driver/core/pmkid_candidates.h"
#include "driver/core/tkip_countermeasures.h"
#include "driver/core/wep_cipher.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {
namespace {

constexpr std::uint8_t kEveryBss[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr std::uint32_t kTransmitBit = 0x80000000u;

bool CurrentBssKnown(const CoreAdapter* core) {
  return core->MlmeState == kMlmeAssociated || FindBss(core, core->Bssid.data()) >= 0;
}

// The BSS a key record names when the BSS table knows it, else the current network; null
// when there is neither.
const std::uint8_t* KeyBss(const CoreAdapter* core, const std::uint8_t* bssid) {
  if (FindBss(core, bssid) >= 0) return bssid;
  return CurrentBssKnown(core) ? core->Bssid.data() : nullptr;
}

// A key of WEP length (at most 13 bytes: dynamic WEP from 802.1X) also becomes the WEP key
// record of its identifier.
void FillWepRecord(CoreAdapter* core, const KeyInstall& install) {
  if (install.keyLength > kWepMaxKeyBytes) return;
  WepKeyRecord& record = core->Config.wepKeys[install.id];
  WipeKeyBytes(&record, sizeof record);
  record.keyIndex = (install.keyIndex & kTransmitBit) | install.id;
  record.keyLength = install.keyLength;
  std::memcpy(record.key, install.material, install.keyLength);
  if (install.transmit) core->Ciphers.WepTransmitKeyRemoved = false;
}

bool Usable(const KeyEntry& entry) { return (entry.flags & kKeyValid) != 0; }

}  // namespace

bool WpaNoneMode(const CoreAdapter* core) { return core->Config.authMode == 5; }

ULONG AddKeyToBss(CoreAdapter* core, const KeyInstall& install) {
  if (std::memcmp(install.bssid, kEveryBss, 6) == 0) return StatusSuccess;
  const std::uint8_t* bssid = KeyBss(core, install.bssid);
  if (bssid == nullptr) return StatusBadArgument;
  BssKeyTable& table = core->BssKeys.Claim(bssid, core->Bssid.data());
  BssKeyTables::Install(table, install, core->StationAddress.data());
  if (!install.pairwise) {
    if (BssKeyTable* current = core->BssKeys.Find(core->Bssid.data())) current->groupKeyInstalled = true;
    IndicatePmkidCandidates(core);
  }
  return StatusSuccess;
}

// A new key ends the countermeasure state and every fragment received so far. Without a BSS
// for the per-BSS copy the key still serves from the adapter table, so the install is not
// reported as failed.
void InstallKey(CoreAdapter* core, const KeyInstall& install) {
  TkipCountermeasuresKeyInstalled(core);
  if (!WpaNoneMode(core)) (void)AddKeyToBss(core, install);
  core->Keys.Install(install, core->StationAddress.data(), WpaNoneMode(core));
  KeysChanged(core);
  CkipKeyInstalled(core, install.keyIndex, install.material, install.keyLength);
  FillWepRecord(core, install);
  KeyInstalledForPendingFrame(core);
}

ULONG RemoveKeyFromBss(CoreAdapter* core, std::uint32_t keyIndex, const std::uint8_t* bssid) {
  const std::uint8_t* keyBss = KeyBss(core, bssid);
  if (keyBss == nullptr) return StatusBadArgument;
  if (BssKeyTable* table = core->BssKeys.Find(keyBss)) BssKeyTables::Remove(*table, keyIndex);
  return StatusSuccess;
}

// Without a BSS for the per-BSS copy the adapter table's key still goes, so the removal is
// not reported as failed.
ULONG RemoveKey(CoreAdapter* core, const std::uint8_t* record, std::uint32_t length) {
  std::uint32_t keyIndex = 0;
  const std::uint8_t* keyBssid = nullptr;
  if (ReadRemoveKeyRecord(record, length, keyIndex, keyBssid) != KeyRefusal::kNone) return StatusInvalidData;
  (void)RemoveKeyFromBss(core, keyIndex, keyBssid);
  (void)core->Keys.RemoveKey(keyIndex);
  KeysChanged(core);
  return StatusSuccess;
}

void ResetKeyState(CoreAdapter* core) {
  TkipForgetMicFailureWindow(core);
  core->Keys.Clear();
  ClearBssKeys(core);
  core->Ciphers.GroupCipherStatus = 0xFF;
  KeysChanged(core);
}

void ClearBssKeys(CoreAdapter* core) { core->BssKeys.Clear(); }

BssKeyTable* CurrentBssKeys(CoreAdapter* core) { return core->BssKeys.Find(core->Bssid.data()); }

KeyEntry* CcmpKeyEntry(CoreAdapter* core, std::uint32_t slot) {
  KeyEntry& adapterEntry = core->Keys.Entry(slot);
  if (WpaNoneMode(core)) return Usable(adapterEntry) ? &adapterEntry : nullptr;
  if (BssKeyTable* table = CurrentBssKeys(core); table != nullptr && Usable(table->entries[slot & 3]))
    return &table->entries[slot & 3];
  const bool forEveryBss = slot != 0 && std::memcmp(adapterEntry.bssid, kEveryBss, 6) == 0;
  return forEveryBss && Usable(adapterEntry) ? &adapterEntry : nullptr;
}

}  // namespace zelnic::core
