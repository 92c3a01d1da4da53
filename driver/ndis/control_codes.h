#pragma once
// The control device's I/O control codes (device type 0x12, buffered, any access), shared by
// the driver and the user-mode library that opens the device.
#include "platform/ndis/wdm.h"

constexpr ULONG kControlDeviceType = 0x12;

constexpr ULONG IOCTL_HLVN_QUERY_OID = CTL_CODE(kControlDeviceType, 0x900, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr ULONG IOCTL_HLVN_SET_OID = CTL_CODE(kControlDeviceType, 0x910, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr ULONG IOCTL_HLVN_REGISTER_EVENT = CTL_CODE(kControlDeviceType, 0x920, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr ULONG IOCTL_HLVN_PING = CTL_CODE(kControlDeviceType, 0x930, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr ULONG IOCTL_HLVN_REGISTER_REMOVE_EVENT =
    CTL_CODE(kControlDeviceType, 0x940, METHOD_BUFFERED, FILE_ANY_ACCESS);
static_assert(IOCTL_HLVN_QUERY_OID == 0x00122400 && IOCTL_HLVN_SET_OID == 0x00122440 &&
              IOCTL_HLVN_REGISTER_EVENT == 0x00122480 && IOCTL_HLVN_PING == 0x001224C0 &&
              IOCTL_HLVN_REGISTER_REMOVE_EVENT == 0x00122500);
