#pragma once
// A copy of the sheet's link state taken under its lock: the worker thread updates it while
// the pages read it.
#include "utility/core/link_status.h"
#include "utility/ui/zelcon_sheet.h"

inline zelcon::LINK_STATUS LinkSnapshot(CZelconSheet& sheet) {
  auto lock = sheet.LockState();
  return sheet.Link();
}
