#pragma once
// What OID_802_11_ADD_KEY and OID_802_11_REMOVE_KEY do to the station core once a record is
// read: the adapter key table, the per-BSS key table of the key's access point, the WEP and
// CKIP records a short key also fills, the frame held back for the keys, the PMKID
// candidates that follow a group key. CCMP's choice of key entry lives here too, since it
// is the one cipher that reads the per-BSS tables.
#include <cstdint>

#include "driver/core/bss_key_table.h"
#include "driver/core/key_table.h"
#include "driver/ndis/os_service_table.h"

struct CoreAdapter;

namespace zelnic::core {

// The authentication mode is WPA-None (5): the IBSS's peers share the keys of the adapter
// table, and no per-BSS table is kept.
bool WpaNoneMode(const CoreAdapter* core);

// A checked ADD_KEY record goes into every table it belongs to.
void InstallKey(CoreAdapter* core, const KeyInstall& install);
// The per-BSS copy: into the table of the key's BSSID when the BSS table knows it, else the
// current network's. StatusSuccess (also for a key of BSSID ff-ff-ff-ff-ff-ff, which stays
// in the adapter table alone) or StatusBadArgument when there is no BSS to hold it.
ULONG AddKeyToBss(CoreAdapter* core, const KeyInstall& install);
// NDIS_802_11_REMOVE_KEY {Length, KeyIndex, BSSID}: StatusInvalidData for a short record, the
// transmit bit or an identifier above 3; else the key leaves both tables.
ULONG RemoveKey(CoreAdapter* core, const std::uint8_t* record, std::uint32_t length);
// The per-BSS part of a removal: the key leaves the table of the BSSID the BSS table knows,
// else the current network's. StatusSuccess, or StatusBadArgument when there is no BSS.
ULONG RemoveKeyFromBss(CoreAdapter* core, std::uint32_t keyIndex, const std::uint8_t* bssid);

// Disconnect, link loss, deauthentication: the adapter table's keys go (and the per-BSS
// ones, ClearBssKeys), and with them the MIC-failure window, the group cipher and any
// fragments received under them.
void ResetKeyState(CoreAdapter* core);
// Every per-BSS key table is wiped: a new association runs its handshake afresh.
void ClearBssKeys(CoreAdapter* core);

// The per-BSS key table of the current network; null when it holds no key.
BssKeyTable* CurrentBssKeys(CoreAdapter* core);
// The entry CCMP uses for `slot`: in WPA-None the adapter table's; otherwise the current
// network's table, or, for a group key set for every BSS (BSSID ff-ff-ff-ff-ff-ff), the
// adapter table's. Null when the slot holds no valid key.
KeyEntry* CcmpKeyEntry(CoreAdapter* core, std::uint32_t slot);

}  // namespace zelnic::core
