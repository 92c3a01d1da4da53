#pragma once
// The Zelnic driver's entry as the operating system calls it: the miniport shell with the
// station core's, chip layer's and control device's routines (library zelnic_driver).
#include "platform/ndis/ndis.h"

NDIS_STATUS DriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath);
