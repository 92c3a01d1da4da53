#include "driver/ndis/status_codes.h"

NDIS_STATUS MapStatus(ULONG code) {
  switch (code) {
    case StatusSuccess: return NDIS_STATUS_SUCCESS;
    case StatusResources: return NDIS_STATUS_RESOURCES;
    case StatusPending: return NDIS_STATUS_PENDING;
    case StatusFailure: return NDIS_STATUS_FAILURE;
    case StatusUnsupportedMedia: return NDIS_STATUS_UNSUPPORTED_MEDIA;
    case StatusNotResettable: return NDIS_STATUS_NOT_RESETTABLE;
    case StatusInvalidLength: return NDIS_STATUS_INVALID_LENGTH;
    case StatusInvalidData: return NDIS_STATUS_INVALID_DATA;
    case StatusBufferTooShort: return NDIS_STATUS_BUFFER_TOO_SHORT;
    case StatusInvalidOid: return NDIS_STATUS_INVALID_OID;
    case StatusAdapterNotFound: return NDIS_STATUS_ADAPTER_NOT_FOUND;
    case StatusAdapterNotReady: return NDIS_STATUS_ADAPTER_NOT_READY;
    case StatusNotSupported: return NDIS_STATUS_NOT_SUPPORTED;
    case StatusNotAccepted: return NDIS_STATUS_NOT_ACCEPTED;
    case StatusAdapterRemoved: return NDIS_STATUS_ADAPTER_REMOVED;
    case StatusResetInProgress: return NDIS_STATUS_RESET_IN_PROGRESS;
    default: return NDIS_STATUS_NOT_RECOGNIZED;  // 4-9 and anything unknown
  }
}
