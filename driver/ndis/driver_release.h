#pragma once
// The driver's release, as an installation's DriverVer line states it: a four-part version
// and the date of the release. The shell answers OID_HLVN_DRIVER_RELEASE with it, and the
// adapter-control library reads it from there for the utility's About page.
#include "platform/ndis/ndis_types.h"

struct HLVN_DRIVER_RELEASE {
  USHORT Version[4];  // major, minor, build, revision
  USHORT Year;
  UCHAR Month;
  UCHAR Day;
};
static_assert(sizeof(HLVN_DRIVER_RELEASE) == 12);

constexpr HLVN_DRIVER_RELEASE kDriverRelease = {{1, 0, 0, 0}, 2026, 12, 11};
