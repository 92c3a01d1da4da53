#include "driver/ndis/shell_oids.h"

#include <algorithm>
#include <array>

#include "driver/ndis/control_device.h"
#include "driver/ndis/private_oids.h"
#include "driver/ndis/shell_links.h"
#include "driver/ndis/status_codes.h"
#include "platform/ndis/ntddndis.h"

namespace {

constexpr NDIS_OID kShellOids[kShellOidCount] = {OID_GEN_SUPPORTED_LIST, OID_GEN_DRIVER_VERSION,
                                                 OID_GEN_MAXIMUM_SEND_PACKETS, OID_GEN_SUPPORTED_GUIDS};

struct GuidRecord {
  ULONG Data1;
  USHORT Data2;
  USHORT Data3;
  UCHAR Data4[8];
  ULONG Oid;   // or the status, for a status record
  ULONG Size;  // 0xFFFFFFFF: variable
  ULONG Flags;
};
static_assert(sizeof(GuidRecord) == kGuidRecordBytes);

constexpr ULONG kMaxSupportedOids = 128;
constexpr ULONG kGuidOid = 0x61;     // an OID, read and write
constexpr ULONG kGuidStatus = 0x62;  // a status, read and write

constexpr GuidRecord kGuids[kGuidRecordCount] = {
    {0x21190696, 0x118d, 0x4654, {0x9e, 0x9a, 0xc6, 0x9c, 0xa7, 0xc7, 0x95, 0xb8}, OID_HLVN_CCX_FLAGS, 4, kGuidOid},
    {0x0725e492, 0x3025, 0x477c, {0x91, 0xdc, 0xd5, 0xc1, 0x2a, 0x4e, 0xec, 0x1f}, OID_HLVN_CCX_NETWORK_EAP, 4,
     kGuidOid},
    {0x5858fa82, 0x0dfd, 0x4a4a, {0xbb, 0xc9, 0xdc, 0xc7, 0x8f, 0x63, 0x01, 0x70}, OID_HLVN_CCX_AP_LIST, 24,
     kGuidOid},
    {0x6e72993a, 0x59a7, 0x4a3e, {0xb1, 0x65, 0x0c, 0xec, 0xb3, 0xc5, 0x0c, 0xdc}, OID_HLVN_CCX_SEND_AP_REPORT, 0,
     kGuidOid},
    {0x55019653, 0x0454, 0x4309, {0xb8, 0xca, 0xd2, 0xe9, 0xf4, 0xd0, 0xaf, 0x83}, OID_HLVN_CCX_ROAM, 44, kGuidOid},
    {0x8c389e47, 0xe511, 0x4d96, {0xae, 0xfe, 0x2f, 0xb7, 0x31, 0xd8, 0x0c, 0x05},
     static_cast<ULONG>(NDIS_STATUS_HLVN_CCKM_REQUEST), 0xFFFFFFFF, kGuidStatus},
    {0x1163fca7, 0x9c1a, 0x4e39, {0xa8, 0x79, 0x9f, 0x93, 0xad, 0x1b, 0x84, 0x07}, OID_HLVN_CCX_CCKM_CANCEL, 4,
     kGuidOid},
    {0xf5190942, 0x6d90, 0x4858, {0x8a, 0xdf, 0x08, 0x6a, 0x2f, 0xa5, 0xb7, 0xeb}, OID_HLVN_CCX_CCKM_ELEMENT, 32,
     kGuidOid},
};

// The sets the utility gate watches while the utility is attached.
bool Gated(NDIS_OID oid) {
  switch (oid) {
    case OID_802_11_SSID:
    case OID_802_11_BSSID:
    case OID_802_11_INFRASTRUCTURE_MODE:
    case OID_802_11_BSSID_LIST_SCAN:
    case OID_802_11_ENCRYPTION_STATUS:
    case OID_802_11_ADD_KEY:
    case OID_802_11_AUTHENTICATION_MODE:
      return true;
    default:
      return false;
  }
}

bool IsSecuritySet(NDIS_OID oid) {
  return oid == OID_802_11_AUTHENTICATION_MODE || oid == OID_802_11_ENCRYPTION_STATUS || oid == OID_802_11_ADD_KEY;
}

NDIS_STATUS Answer(const void* value, ULONG size, PVOID buffer, ULONG length, PULONG written, PULONG needed) {
  if (buffer == nullptr || length < size) {
    *needed = size;
    return NDIS_STATUS_BUFFER_TOO_SHORT;
  }
  NdisMoveMemory(buffer, value, size);
  *written = size;
  return NDIS_STATUS_SUCCESS;
}

NDIS_STATUS BuildSupportedOidList(MiniportContext* context, PVOID buffer, ULONG length, PULONG written, PULONG needed) {
  CoreAdapter* core = context->Container->Core;
  ULONG belowWritten = 0;
  ULONG belowNeeded = 0;
  Links().QueryOid(core, OID_GEN_SUPPORTED_LIST, nullptr, 0, &belowWritten, &belowNeeded);
  const ULONG size = sizeof kShellOids + belowNeeded;
  if (buffer == nullptr || length < size) {
    *needed = size;
    return NDIS_STATUS_BUFFER_TOO_SHORT;
  }
  auto* list = static_cast<UCHAR*>(buffer);
  NdisMoveMemory(list, kShellOids, sizeof kShellOids);
  const NDIS_STATUS below =
      Links().QueryOid(core, OID_GEN_SUPPORTED_LIST, list + sizeof kShellOids, length - sizeof kShellOids,
                       &belowWritten, &belowNeeded);
  if (below != NDIS_STATUS_SUCCESS) return below;
  // Sorted as unsigned numbers, each OID once (the buffer may not be aligned for ULONG).
  ULONG count = (sizeof kShellOids + belowWritten) / 4;
  std::array<ULONG, kMaxSupportedOids> oids;
  if (count > oids.size()) return NDIS_STATUS_FAILURE;
  NdisMoveMemory(oids.data(), list, count * 4);
  std::make_heap(oids.begin(), oids.begin() + count);
  std::sort_heap(oids.begin(), oids.begin() + count);
  count = static_cast<ULONG>(std::unique(oids.begin(), oids.begin() + count) - oids.begin());
  NdisMoveMemory(list, oids.data(), count * 4);
  *written = count * 4;
  return NDIS_STATUS_SUCCESS;
}

// OID_802_11_TEST: an indication the protocols above should see, as if the air had sent it.
ULONG Test(MiniportContext* context, const UCHAR* buffer, ULONG length, PULONG read, PULONG needed) {
  if (buffer == nullptr || length < 8) {
    *needed = 8;
    return StatusInvalidLength;
  }
  ULONG type;
  NdisMoveMemory(&type, buffer + 4, 4);
  ULONG size;
  if (type == 1) {
    size = length - 8;
  } else if (type == 2) {
    if (length < 12) {
      *needed = 12;
      return StatusInvalidLength;
    }
    size = 4;
  } else {
    return StatusInvalidData;
  }
  NdisMIndicateStatus(context->AdapterHandle, NDIS_STATUS_MEDIA_SPECIFIC_INDICATION,
                      const_cast<UCHAR*>(buffer + 8), size);
  NdisMIndicateStatusComplete(context->AdapterHandle);
  *read = length;
  return StatusSuccess;
}

constexpr int kBusyWaits = 19'999;
constexpr UINT kBusyWaitMicroseconds = 50;

}  // namespace

BOOLEAN ShellQueryOid(MiniportContext* context, NDIS_OID oid, PVOID buffer, ULONG length, PULONG written,
                      PULONG needed, NDIS_STATUS* status) {
  switch (oid) {
    case OID_GEN_SUPPORTED_LIST:
      *status = BuildSupportedOidList(context, buffer, length, written, needed);
      return TRUE;
    case OID_GEN_DRIVER_VERSION:
      *status = Answer(&kDriverVersion, sizeof kDriverVersion, buffer, length, written, needed);
      return TRUE;
    case OID_GEN_MAXIMUM_SEND_PACKETS: {
      const ULONG one = 1;
      *status = Answer(&one, 4, buffer, length, written, needed);
      return TRUE;
    }
    case OID_GEN_SUPPORTED_GUIDS:
      *status = Answer(kGuids, sizeof kGuids, buffer, length, written, needed);
      return TRUE;
    default:
      return FALSE;
  }
}

ULONG ShellSetOid(MiniportContext* context, NDIS_OID oid, PVOID buffer, ULONG length, PULONG read, PULONG needed) {
  // Whether this call counted itself busy is remembered here: the utility may attach or
  // detach while the set runs, and the counter must come back to where it was.
  const bool counted = context->UtilityAttached != 0;
  if (counted) {
    for (int i = 0; context->SetBusy != 0 && i < kBusyWaits; ++i) NdisStallExecution(kBusyWaitMicroseconds);
    NdisInterlockedIncrement(&context->SetBusy);
  }
  ULONG result;
  if (context->UtilityAttached && Gated(oid) &&
      (context->UtilityMode == 1 ? context->FromUtility != 0
                                 : (!context->FromUtility && !IsSecuritySet(oid) && oid != OID_802_11_BSSID_LIST_SCAN))) {
    // Acknowledged and ignored: the other side owns the connection in this mode.
    *read = length;
    result = StatusSuccess;
  } else {
    if (context->UtilityAttached && context->UtilityMode != 1 && !context->FromUtility && IsSecuritySet(oid)) {
      if (Links().PostUtilityEvent != nullptr) Links().PostUtilityEvent(HLVN_EVENT_SECURITY_OID, nullptr, 0);
    }
    if (oid == OID_802_11_TEST) {
      result = Test(context, static_cast<const UCHAR*>(buffer), length, read, needed);
    } else if (oid == OID_HLVN_UTILITY_MODE) {
      if (buffer == nullptr || length < 4) {
        *needed = 4;
        result = StatusInvalidLength;
      } else {
        NdisMoveMemory(&context->UtilityMode, buffer, 4);
        *read = 4;
        result = StatusSuccess;
      }
    } else {
      result = Links().SetOid(context->Container->Core, oid, buffer, length, read, needed);
    }
  }
  if (counted) NdisInterlockedDecrement(&context->SetBusy);
  return result;
}
