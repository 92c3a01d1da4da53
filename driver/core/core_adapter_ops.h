#pragma once
// The station core's operations table: how the shell and the chip layer reach the core.
// Every core object (CoreAdapter) begins with a CoreAdapterHead, so a caller needs nothing
// else of it to find its operations.
#include "platform/ndis/ndis_types.h"

struct AdapterContainer;
struct CoreAdapter;
struct SendDescriptor;
struct ReceiveRecord;

struct CoreAdapterOps {
  ULONG (*Init)(CoreAdapter* core);                                       // 0
  void (*Halt)(CoreAdapter* core, ULONG argument);                        // 1
  void (*NoOperation2)(CoreAdapter* core);                                // 2
  void (*NoOperation3)(CoreAdapter* core);                                // 3
  ULONG (*Send)(CoreAdapter* core, SendDescriptor* record);               // 4
  void (*SendComplete)(CoreAdapter* core, SendDescriptor* record, ULONG status);  // 5
  ULONG (*Receive)(CoreAdapter* core, ReceiveRecord* record);             // 6
  void (*NoOperation7)(CoreAdapter* core);                                // 7
  void (*FirmwareEvent)(CoreAdapter* core);                               // 8
  void (*Empty9)();                                                       // 9
  ULONG (*Encrypt)(CoreAdapter* core, SendDescriptor* record, UCHAR* frame, ULONG length);  // 10
  LONG (*Decrypt)(CoreAdapter* core, UCHAR* frame, ULONG length);         // 11: new length, -1 to drop
  BOOLEAN (*IsFromCurrentBss)(CoreAdapter* core, const UCHAR* frame);     // 12
  BOOLEAN (*IsUnicastFromBss)(CoreAdapter* core, const UCHAR* frame);     // 13
  void (*Destroy)(CoreAdapter* core);                                     // 14
  void (*Empty15)();                                                      // 15
};
static_assert(sizeof(CoreAdapterOps) == 16 * sizeof(void (*)()));

struct CoreAdapterHead {
  const CoreAdapterOps* Ops;
  AdapterContainer* Container;
};

inline const CoreAdapterOps& CoreOps(CoreAdapter* core) { return *reinterpret_cast<CoreAdapterHead*>(core)->Ops; }
