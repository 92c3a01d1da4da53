#pragma once
// The OS class: one small number, cached at driver entry from the WDM version the
// system offers, that every layer consults. Classes 1 and 2 are the older systems.
#include "platform/ndis/ndis_types.h"

// 4: WDM 1.0x20, 3: 1.0x10, 2: 1.05, 1: 1.0, 0: none of these (first that holds).
ULONG DetermineOsClass();
ULONG OsClass();
void CacheOsClass(ULONG osClass);
inline bool IsOlderSystem() { return OsClass() == 1 || OsClass() == 2; }
