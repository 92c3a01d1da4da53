#include "driver/ndis/os_class.h"

#include "platform/ndis/wdm.h"

namespace {
ULONG g_osClass = 0;
}  // namespace

ULONG DetermineOsClass() {
  if (IoIsWdmVersionAvailable(1, 0x20)) return 4;
  if (IoIsWdmVersionAvailable(1, 0x10)) return 3;
  if (IoIsWdmVersionAvailable(1, 0x05)) return 2;
  if (IoIsWdmVersionAvailable(1, 0x00)) return 1;
  return 0;
}

ULONG OsClass() { return g_osClass; }
void CacheOsClass(ULONG osClass) { g_osClass = osClass; }
