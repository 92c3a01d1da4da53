#pragma once
// The miniport shell: the driver's face toward NDIS. DriverEntry registers the handlers
// below; the handlers run the adapter's start-up, shut-down, interrupts, sends and resets,
// and reach the station core and the chip layer through their operation tables.
#include "driver/ndis/miniport_context.h"
#include "driver/ndis/shell_links.h"
#include "platform/ndis/ndis.h"

// The driver entry with the routines the shell calls outside the tables. The product's
// DriverEntry passes the station core's, chip layer's and control device's routines.
NDIS_STATUS ShellDriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath, const ShellLinks* links);

// The wrapper handle that the driver entry obtained.
NDIS_HANDLE DriverWrapperHandle();

NDIS_STATUS MiniportInitialize(PNDIS_STATUS openErrorStatus, PUINT selectedMediumIndex, PNDIS_MEDIUM mediumArray,
                               UINT mediumArraySize, NDIS_HANDLE adapterHandle, NDIS_HANDLE configurationContext);
void MiniportHalt(NDIS_HANDLE context);
BOOLEAN MiniportCheckForHang(NDIS_HANDLE context);
void MiniportEnableInterrupt(NDIS_HANDLE context);
void MiniportIsr(PBOOLEAN recognized, PBOOLEAN queueDeferred, NDIS_HANDLE context);
void MiniportHandleInterrupt(NDIS_HANDLE context);
NDIS_STATUS MiniportQueryInformation(NDIS_HANDLE context, NDIS_OID oid, PVOID buffer, ULONG length,
                                     PULONG written, PULONG needed);
NDIS_STATUS MiniportSetInformation(NDIS_HANDLE context, NDIS_OID oid, PVOID buffer, ULONG length, PULONG read,
                                   PULONG needed);
NDIS_STATUS MiniportReset(PBOOLEAN addressingReset, NDIS_HANDLE context);
void MiniportSendPackets(NDIS_HANDLE context, PPNDIS_PACKET packets, UINT count);
void MiniportReturnPacket(NDIS_HANDLE context, PNDIS_PACKET packet);
void MiniportPnPEventNotify(NDIS_HANDLE context, NDIS_DEVICE_PNP_EVENT event, PVOID buffer, ULONG length);
void MiniportShutdown(PVOID context);

// The pending-send queue, for the chip layer's transmit service.
// Takes the oldest queued packet, describes it and hands it to the core's Send; FALSE when
// nothing was taken (an empty queue, or no descriptor free: the packet stays first).
BOOLEAN TakePendingSend(MiniportContext* context);
ULONG PendingSendCount(MiniportContext* context);
// Queues a packet of the driver's own (a raw frame) behind the waiting sends.
void QueuePendingSend(MiniportContext* context, PNDIS_PACKET packet);
