#pragma once
// The chip layer's operations table: how the shell and the station core reach the chip
// layer. Every chip-layer object (HalAdapter) begins with a HalAdapterHead, so a caller
// needs nothing else of it to find its operations.
#include "platform/ndis/ndis_types.h"

struct AdapterContainer;
struct HalAdapter;
struct SendDescriptor;
struct ReceiveRecord;

struct HalAdapterOps {
  ULONG (*Init)(HalAdapter* hal);                              // 0: returns 0
  ULONG (*Start)(HalAdapter* hal);                             // 1: firmware download and start; 0 or an NDIS status
  void (*Stop)(HalAdapter* hal, ULONG removed);                // 2
  ULONG (*Reset)(HalAdapter* hal);                             // 3: internal status code
  void (*NoOperation4)(HalAdapter* hal);                       // 4
  void (*Shutdown)(HalAdapter* hal);                           // 5
  void (*EnableInterrupts)(HalAdapter* hal);                   // 6
  void (*DisableInterrupts)(HalAdapter* hal);                  // 7
  void (*Empty8)();                                            // 8
  void (*Empty9)();                                            // 9
  void (*ReturnReceiveBuffer)(HalAdapter* hal, ReceiveRecord* record);  // 10
  ULONG (*Transmit)(HalAdapter* hal, SendDescriptor* descriptor);      // 11
  void (*Empty12)();                                           // 12
  BOOLEAN (*HangCheck)(HalAdapter* hal);                       // 13
  ULONG (*Isr)(HalAdapter* hal);                               // 14: 1 when the interrupt is the adapter's
  void (*InterruptDpc)(HalAdapter* hal);                       // 15
  void (*NoOperation16)(HalAdapter* hal);                      // 16
  void (*NoOperation17)(HalAdapter* hal);                      // 17
  void (*SetLed)(HalAdapter* hal, ULONG pattern);              // 18
  void (*Destroy)(HalAdapter* hal);                            // 19
  void (*Empty20)();                                           // 20
};
static_assert(sizeof(HalAdapterOps) == 21 * sizeof(void (*)()));

struct HalAdapterHead {
  const HalAdapterOps* Ops;
  AdapterContainer* Container;
};

inline const HalAdapterOps& HalOps(HalAdapter* hal) { return *reinterpret_cast<HalAdapterHead*>(hal)->Ops; }
