#pragma once
// The driver's internal status codes. Every routine below the miniport boundary returns
// one; the shell turns it into an NDIS status once, with MapStatus, when it answers NDIS.
#include "platform/ndis/ndis_types.h"

enum InternalStatus : ULONG {
  StatusSuccess = 0,
  StatusResources = 1,        // an allocation failed
  StatusPending = 2,          // completes later
  StatusFailure = 3,
  StatusBadArgument = 4,      // bad argument to an OS-service slot
  StatusFileMapped = 5,       // 5-9: results of the file service
  StatusFileFailure = 6,
  StatusFileNotFound = 7,
  StatusUnsupportedMedia = 10,
  StatusNotResettable = 11,
  StatusInvalidLength = 12,   // wrong length, short PCI read
  StatusInvalidData = 13,     // value out of range
  StatusBufferTooShort = 14,
  StatusInvalidOid = 15,
  StatusAdapterNotFound = 16, // PCI identity unreadable
  StatusAdapterNotReady = 17,
  StatusNotSupported = 18,
  StatusNotAccepted = 19,
  StatusAdapterRemoved = 20,
  StatusResetInProgress = 21,
};

NDIS_STATUS MapStatus(ULONG code);
