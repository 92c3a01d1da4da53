#pragma once
// The per-adapter records of the miniport shell: MiniportContext (what NDIS hands back
// to every handler) and AdapterContainer (what joins the three layers).
#include "platform/ndis/ndis.h"

struct CoreAdapter;
struct HalAdapter;
struct OsLayer;
struct AdapterContainer;

enum MiniportState : ULONG {
  MiniportHalted = 0,  // halted or removed
  MiniportResetting = 1,
  MiniportInitialising = 2,
  MiniportHung = 3,
  MiniportRunning = 4,
};

constexpr ULONG kMiniportReady = 4;

struct MiniportContext {
  AdapterContainer* Container;
  ULONG State;    // MiniportState; 1 at creation
  ULONG Removed;  // 1 once halted or surprise-removed: every handler refuses work
  ULONG Started;
  void (*Destroy)(MiniportContext* context);
  NDIS_SPIN_LOCK Lock;  // guards the pending-send queue
  PNDIS_PACKET PendingHead;
  PNDIS_PACKET PendingTail;
  ULONG PendingCount;
  LONG SetBusy;          // set requests in progress (interlocked)
  LONG BssCopyBusy;      // held while the core copies its BSS table (interlocked)
  UCHAR UtilityAttached; // 1 while the control device is open
  UCHAR DeviceRegistered;
  ULONG DeviceIndex;     // 0..3: this adapter's control device
  ULONG UtilityMode;
  NDIS_HANDLE WrapperHandle;
  UCHAR FromUtility;     // 1 while a set from the control device runs
  ULONG Ready;           // kMiniportReady once sends may be queued
  // NDIS's handle of this adapter, kept here as well so that sends can still be completed
  // once the container is gone (after a surprise removal).
  NDIS_HANDLE AdapterHandle;
  // Map registers are taken before the container exists; the context gives them back
  // itself when start-up fails before the container could.
  UCHAR MapRegistersAllocated;
};

struct AdapterContainer {
  OsLayer* Os;
  HalAdapter* Hal;
  CoreAdapter* Core;
  NDIS_HANDLE MiniportAdapterHandle;
  NDIS_HANDLE ConfigurationContext;
  MiniportContext* Context;
  void (*Destroy)(AdapterContainer* container);
};

// Creation and destruction (the destroy routines are also stored in the records).
MiniportContext* CreateMiniportContext(NDIS_HANDLE adapterHandle);
void DestroyMiniportContext(MiniportContext* context);
AdapterContainer* CreateAdapterContainer(MiniportContext* context, NDIS_HANDLE adapterHandle,
                                         NDIS_HANDLE configurationContext);
void DestroyAdapterContainer(AdapterContainer* container);
