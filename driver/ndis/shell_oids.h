#pragma once
// The OIDs the shell answers itself (the merged supported list, driver version, send-packet
// count, WMI GUIDs) and what it does to a set before the core sees it (the busy counter,
// the utility gate, OID_802_11_TEST, OID_HLVN_UTILITY_MODE).
#include "driver/ndis/miniport_context.h"
#include "platform/ndis/ndis.h"

constexpr USHORT kDriverVersion = 0x0501;
constexpr ULONG kShellOidCount = 4;
constexpr ULONG kGuidRecordBytes = 28;
constexpr ULONG kGuidRecordCount = 8;

// TRUE when the shell answered the query itself (its status in `status`).
BOOLEAN ShellQueryOid(MiniportContext* context, NDIS_OID oid, PVOID buffer, ULONG length, PULONG written,
                      PULONG needed, NDIS_STATUS* status);
// The whole set from the shell on: busy counter, gate, the shell's own OIDs, then the core.
// Returns the internal status code.
ULONG ShellSetOid(MiniportContext* context, NDIS_OID oid, PVOID buffer, ULONG length, PULONG read, PULONG needed);
