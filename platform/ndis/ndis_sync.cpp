// Spin locks, interlocked counts and the IRQL. Deterministic mode runs one thread, so a
// spin lock that is already held can never be released: acquiring it is a deadlock and is
// reported as such. The held word is still taken atomically, so the same locks work when
// the handlers run on several threads.
#include "platform/ndis/adapter_runtime.h"

using ndis::AdapterRuntime;

namespace {

void Acquire(PNDIS_SPIN_LOCK lock, bool raise, const char* call) {
  AdapterRuntime& adapter = ndis::RequireAdapter(call);
  adapter.requireIrqlAtMost(DISPATCH_LEVEL, call);
  if (!raise && ndis::CurrentIrql() != DISPATCH_LEVEL) {
    adapter.violation(std::string(call) + " below DISPATCH_LEVEL");
  }
  if (lock->Signature != ndis::kSpinLockMagic) {
    adapter.violation(std::string(call) + " on a spin lock that was never allocated");
  }
  if (__atomic_exchange_n(&lock->Held, 1, __ATOMIC_ACQUIRE) != 0) {
    adapter.violation(std::string(call) + " on a spin lock this processor already holds (deadlock)");
    return;
  }
  adapter.noteLockHeld(lock);
  lock->OldIrql = ndis::CurrentIrql();
  if (raise) ndis::SetCurrentIrql(DISPATCH_LEVEL);
}

void Release(PNDIS_SPIN_LOCK lock, bool lower, const char* call) {
  AdapterRuntime& adapter = ndis::RequireAdapter(call);
  if (lock->Held == 0 || !adapter.noteLockReleased(lock)) {
    adapter.violation(std::string(call) + " on a spin lock that is not held");
    return;
  }
  const KIRQL old = lock->OldIrql;
  __atomic_store_n(&lock->Held, 0, __ATOMIC_RELEASE);
  if (lower) ndis::SetCurrentIrql(old);
}

}  // namespace

void NdisAllocateSpinLock(PNDIS_SPIN_LOCK SpinLock) {
  SpinLock->Signature = ndis::kSpinLockMagic;
  SpinLock->Held = 0;
  SpinLock->OldIrql = PASSIVE_LEVEL;
}

void NdisFreeSpinLock(PNDIS_SPIN_LOCK SpinLock) {
  if (SpinLock->Held != 0) {
    if (AdapterRuntime* adapter = ndis::CurrentAdapter()) adapter->violation("NdisFreeSpinLock on a held spin lock");
  }
  SpinLock->Signature = 0;
}

void NdisAcquireSpinLock(PNDIS_SPIN_LOCK SpinLock) { Acquire(SpinLock, true, "NdisAcquireSpinLock"); }
void NdisReleaseSpinLock(PNDIS_SPIN_LOCK SpinLock) { Release(SpinLock, true, "NdisReleaseSpinLock"); }
void NdisDprAcquireSpinLock(PNDIS_SPIN_LOCK SpinLock) { Acquire(SpinLock, false, "NdisDprAcquireSpinLock"); }
void NdisDprReleaseSpinLock(PNDIS_SPIN_LOCK SpinLock) { Release(SpinLock, false, "NdisDprReleaseSpinLock"); }

LONG NdisInterlockedIncrement(PLONG Addend) { return __atomic_add_fetch(Addend, 1, __ATOMIC_SEQ_CST); }
LONG NdisInterlockedDecrement(PLONG Addend) { return __atomic_sub_fetch(Addend, 1, __ATOMIC_SEQ_CST); }

KIRQL KeGetCurrentIrql() { return ndis::CurrentIrql(); }
