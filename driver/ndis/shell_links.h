#pragma once
// What the shell calls directly, outside the three operation tables: the station core's
// creation, start and a few questions the shell asks it, the chip layer's stop and transmit
// kick, and the control device. The driver's entry hands the shell one ShellLinks; the
// product's entry fills it with the real routines, tests with doubles.
#include "platform/ndis/ndis.h"

struct AdapterContainer;
struct CoreAdapter;
struct HalAdapter;
struct MiniportContext;

struct ShellLinks {
  // Station core. Creation reads the registry parameters, creates the chip layer (which
  // claims the adapter's resources) and links core, chip layer and container; on failure
  // it leaves nothing behind, returns null and an internal status.
  CoreAdapter* (*CreateCoreAdapter)(ULONG* status, AdapterContainer* container);
  // Sets the station address in the firmware when it differs, indicates media
  // disconnect, arms the link monitor when the radio is on.
  void (*StartCore)(CoreAdapter* core);
  // Deauthenticates (reason 3) when associated and leaves the network state.
  void (*LeaveNetworkForHalt)(CoreAdapter* core);
  BOOLEAN (*IsMediaConnected)(CoreAdapter* core);
  // The shadow of the BSS table that queries read ({u32 count, NDIS_WLAN_BSSID entries}) and
  // its size; null when the core has none. Readers hold the context's BssCopyBusy meanwhile.
  const UCHAR* (*ShadowBssList)(CoreAdapter* core, ULONG* length);
  // Beside the shadow, one 33-byte extra record per entry ({1 when the BSS carries the
  // maker's vendor element, its first 32 bytes}); may be null: the records stay zero.
  const UCHAR* (*ShadowBssExtras)(CoreAdapter* core);
  // OID handling below the shell: queries answer NDIS status values, sets internal codes.
  NDIS_STATUS (*QueryOid)(CoreAdapter* core, NDIS_OID oid, PVOID buffer, ULONG length, PULONG written,
                          PULONG needed);
  ULONG (*SetOid)(CoreAdapter* core, NDIS_OID oid, PVOID buffer, ULONG length, PULONG read, PULONG needed);

  // Chip layer.
  void (*StopFirmware)(HalAdapter* hal);  // radio off, then the chip stopped
  void (*StartTransmit)(HalAdapter* hal);  // runs the transmit service

  // The shell's pending-send queue, for the driver's own raw frames (may be null).
  void (*QueuePendingSend)(MiniportContext* context, PNDIS_PACKET packet);

  // Control device (all may be null: a driver without one).
  void (*ClearControlDevices)();  // at driver entry: no adapter has a device yet
  void (*RegisterControlDevice)(MiniportContext* context);
  void (*DeregisterControlDevice)(MiniportContext* context);
  void (*WaitForUtilityClose)(MiniportContext* context);
  void (*PostUtilityEvent)(ULONG code, const void* payload, ULONG length);
  // The query of OID_HLVN_EVENT_RING: the unread records of the event ring.
  NDIS_STATUS (*ReadUtilityEvents)(PVOID output, ULONG length, PULONG written, PULONG needed);
};

// The links the running driver uses: set by ShellDriverEntry (or by a test of a part of
// the shell); all empty before that.
const ShellLinks& Links();
void UseShellLinks(const ShellLinks* links);
