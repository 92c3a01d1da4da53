#include "platform/ndis/adapter_runtime.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <strings.h>

#include "platform/ndis/register_routing.h"

namespace ndis {
namespace {

thread_local AdapterRuntime* t_adapter = nullptr;
thread_local KIRQL t_irql = PASSIVE_LEVEL;

}  // namespace

bool CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const {
  return strcasecmp(a.c_str(), b.c_str()) < 0;
}

AdapterRuntime* CurrentAdapter() { return t_adapter; }
KIRQL CurrentIrql() { return t_irql; }
void SetCurrentIrql(KIRQL irql) { t_irql = irql; }

DriverContext::DriverContext(AdapterRuntime& adapter, KIRQL irql)
    : previousAdapter_(t_adapter), previousIrql_(t_irql) {
  t_adapter = &adapter;
  t_irql = irql;
}

DriverContext::~DriverContext() {
  t_adapter = previousAdapter_;
  t_irql = previousIrql_;
}

void FatalFault(const std::string& what) {
  std::fprintf(stderr, "ndis runtime: fatal: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

AdapterRuntime& RequireAdapter(const char* call) {
  if (t_adapter == nullptr) FatalFault(std::string(call) + " called outside any adapter's driver code");
  return *t_adapter;
}

AdapterRuntime::AdapterRuntime(Scheduler& scheduler, ChipDevice& chip, AdapterConfig config)
    : scheduler_(scheduler), chip_(chip), config_(std::move(config)) {
  wrapper_.adapter = this;
  configurationContext_.adapter = this;
  driverObject_.Size = sizeof(DRIVER_OBJECT);
  registryPath_.Buffer = config_.registryPath.data();
  registryPath_.Length = static_cast<USHORT>(config_.registryPath.size() * sizeof(WCHAR));
  registryPath_.MaximumLength = registryPath_.Length;
  heldLocks_.reserve(16);
  indications_.held.reserve(256);  // received packets up in the protocols: room for a ring's worth
  chip_.attach(*this);
}

AdapterRuntime::~AdapterRuntime() {
  *alive_ = false;
  for (auto& [timer, id] : armedTimers_) scheduler_.cancel(id);  // an unarmed entry holds no id
  chip_.detach();
  for (const auto& window : mappedWindows_) ReleaseRegisterWindow(window.start, window.length);
  for (auto& [address, pool] : packetPools_) {
    for (NDIS_PACKET* packet : pool->made) std::free(packet);
  }
  magic_ = 0;
}

AdapterRuntime& AdapterRuntime::fromMiniportHandle(NDIS_HANDLE handle, const char* call) {
  auto* adapter = static_cast<AdapterRuntime*>(handle);
  if (adapter == nullptr || adapter->magic_ != kAdapterMagic) {
    FatalFault(std::string(call) + ": not a miniport adapter handle");
  }
  return *adapter;
}

AdapterRuntime& AdapterRuntime::fromWrapperHandle(NDIS_HANDLE handle, const char* call) {
  auto* wrapper = static_cast<Wrapper*>(handle);
  if (wrapper == nullptr || wrapper->magic != kWrapperMagic) {
    FatalFault(std::string(call) + ": not a wrapper handle");
  }
  return *wrapper->adapter;
}

AdapterRuntime& AdapterRuntime::fromConfigurationContext(NDIS_HANDLE handle, const char* call) {
  auto* context = static_cast<ConfigurationContext*>(handle);
  if (context == nullptr || context->magic != kConfigContextMagic) {
    FatalFault(std::string(call) + ": not a wrapper configuration context");
  }
  return *context->adapter;
}

void AdapterRuntime::violation(const std::string& what) {
  std::fprintf(stderr, "ndis runtime: violation at %lld us: %s\n",
               static_cast<long long>(scheduler_.now().count()), what.c_str());
  std::fflush(stderr);
  violations_.push_back(what);
  if (config_.violations == ViolationPolicy::Abort) std::abort();
}

void AdapterRuntime::requireIrqlAtMost(KIRQL highest, const char* call) {
  if (t_irql > highest) {
    violation(std::string(call) + " called at IRQL " + std::to_string(t_irql) + ", allowed up to " +
              std::to_string(highest));
  }
}

bool AdapterRuntime::refuse(RequestKind kind, std::size_t length, std::uint32_t tag) {
  const std::uint64_t ordinal = ++requestCounts_[kind];
  return failureRule_ && failureRule_(ResourceRequest{kind, tag, length, ordinal});
}

bool AdapterRuntime::noteLockReleased(NDIS_SPIN_LOCK* lock) {
  for (auto it = heldLocks_.rbegin(); it != heldLocks_.rend(); ++it) {
    if (*it == lock) {
      heldLocks_.erase(std::next(it).base());
      return true;
    }
  }
  return false;
}

void AdapterRuntime::checkReturnFromDriver(KIRQL irql, const char* what, std::size_t locksBefore) {
  if (t_irql != irql) {
    violation(std::string(what) + " returned at IRQL " + std::to_string(t_irql) + " instead of " +
              std::to_string(irql));
  }
  if (heldLocks_.size() > locksBefore) violation(std::string(what) + " returned holding a spin lock");
}

void AdapterRuntime::checkReleasedRange(const void* start, std::size_t length, const char* call) {
  const auto first = reinterpret_cast<std::uintptr_t>(start);
  auto inside = [&](const void* p) {
    const auto at = reinterpret_cast<std::uintptr_t>(p);
    return at >= first && at - first < length;
  };
  for (auto it = armedTimers_.begin(); it != armedTimers_.end();) {
    if (inside(it->first)) {
      if (it->second) violation(std::string(call) + " releases memory that holds an armed timer");
      scheduler_.cancel(it->second);
      it = armedTimers_.erase(it);
    } else {
      ++it;
    }
  }
  for (auto it = heldLocks_.begin(); it != heldLocks_.end();) {
    if (inside(*it)) {
      violation(std::string(call) + " releases memory that holds a spin lock still held");
      it = heldLocks_.erase(it);
    } else {
      ++it;
    }
  }
  if (interrupt_ != nullptr && inside(interrupt_)) {
    violation(std::string(call) + " releases memory that holds the registered interrupt");
    interrupt_ = nullptr;
  }
}

// --- timers ---------------------------------------------------------------------------------

EventId AdapterRuntime::queueTimer(NDIS_MINIPORT_TIMER* timer, UINT milliseconds) {
  const std::uint64_t generation = ++timerGeneration_;
  timer->QueuedEvent = generation;
  return queue(Micros(std::int64_t{milliseconds} * 1000), EventKind::Timer, "timer",
               [this, timer, generation] { fireTimer(timer, generation); });
}

void AdapterRuntime::armTimer(NDIS_MINIPORT_TIMER* timer, UINT milliseconds, bool periodic, const char* call) {
  requireIrqlAtMost(DISPATCH_LEVEL, call);
  if (timer == nullptr || timer->Signature != kTimerMagic || timer->Adapter != this) {
    violation(std::string(call) + " on a timer that NdisMInitializeTimer did not set up");
    return;
  }
  if (periodic && milliseconds == 0) {
    violation(std::string(call) + " with a period of 0 ms");
    return;
  }
  // The timer's entry stays once made (unarmed: no id).
  EventId& armed = armedTimers_[timer];
  scheduler_.cancel(armed);
  timer->PeriodMs = periodic ? milliseconds : 0;
  armed = queueTimer(timer, milliseconds);
}

bool AdapterRuntime::cancelTimer(NDIS_MINIPORT_TIMER* timer) {
  auto armed = armedTimers_.find(timer);
  if (armed == armedTimers_.end() || !armed->second) return false;
  scheduler_.cancel(armed->second);
  armed->second = {};
  timer->QueuedEvent = 0;
  return true;
}

std::size_t AdapterRuntime::armedTimers() const {
  return static_cast<std::size_t>(
      std::count_if(armedTimers_.begin(), armedTimers_.end(), [](const auto& entry) { return bool(entry.second); }));
}

void AdapterRuntime::cancelAllTimers() {
  timersLeftArmed_ += armedTimers();
  for (auto& [timer, id] : armedTimers_) {
    scheduler_.cancel(id);
    id = {};
  }
}

void AdapterRuntime::fireTimer(NDIS_MINIPORT_TIMER* timer, std::uint64_t generation) {
  auto armed = armedTimers_.find(timer);
  if (armed == armedTimers_.end() || !armed->second || timer->QueuedEvent != generation) return;
  if (timer->PeriodMs != 0) {
    armed->second = queueTimer(timer, timer->PeriodMs);
  } else {
    armed->second = {};
    timer->QueuedEvent = 0;
  }
  PNDIS_TIMER_FUNCTION function = timer->MiniportTimerFunction;
  PVOID context = timer->MiniportTimerContext;
  callDriver(DISPATCH_LEVEL, "timer function", [&] { function(nullptr, context, nullptr, nullptr); });
}

// --- interrupt ------------------------------------------------------------------------------

void AdapterRuntime::setInterruptLine(bool asserted) {
  const bool rising = asserted && !line_;
  line_ = asserted;
  if (rising) raiseInterrupt();
}

void AdapterRuntime::raiseInterrupt() {
  if (interrupt_ == nullptr || isrQueued_) return;
  isrQueued_ = true;
  queue(Micros(0), EventKind::Interrupt, "isr", [this] { serviceInterrupt(); });
}

void AdapterRuntime::serviceInterrupt() {
  isrQueued_ = false;
  if (interrupt_ == nullptr || !line_) return;
  const auto& h = handlers();
  if (!requestIsr_ || h.ISRHandler == nullptr) {
    if (h.DisableInterruptHandler != nullptr) {
      callDriver(DIRQL_LEVEL, "disable-interrupt handler", [&] { h.DisableInterruptHandler(miniportContext_); });
    }
  } else {
    BOOLEAN recognized = FALSE;
    BOOLEAN queueDeferred = FALSE;
    callDriver(DIRQL_LEVEL, "ISR", [&] { h.ISRHandler(&recognized, &queueDeferred, miniportContext_); });
    if (!recognized) {
      ++unclaimedInterrupts_;
      return;
    }
    if (!queueDeferred) {
      if (line_) violation("the ISR claimed an interrupt it left asserted without asking for the deferred handler");
      return;
    }
  }
  if (deferredQueued_) return;
  deferredQueued_ = true;
  queue(Micros(0), EventKind::Deferred, "deferred handler", [this] { runDeferred(); });
}

void AdapterRuntime::runDeferred() {
  deferredQueued_ = false;
  if (interrupt_ == nullptr) return;
  const auto& h = handlers();
  callDriver(DISPATCH_LEVEL, "deferred handler", [&] {
    if (h.HandleInterruptHandler != nullptr) h.HandleInterruptHandler(miniportContext_);
  });
  if (interrupt_ != nullptr && h.EnableInterruptHandler != nullptr) {
    callDriver(DIRQL_LEVEL, "enable-interrupt handler", [&] { h.EnableInterruptHandler(miniportContext_); });
  }
  if (line_) raiseInterrupt();
}

NDIS_STATUS AdapterRuntime::registerInterrupt(NDIS_MINIPORT_INTERRUPT* interrupt, UINT vector, UINT level,
                                              bool requestIsr) {
  if (interrupt_ != nullptr) {
    violation("NdisMRegisterInterrupt: the adapter's interrupt is already registered");
    return NDIS_STATUS_FAILURE;
  }
  const DeviceResources resources = chip_.resources();
  if (vector != resources.interruptVector || level != resources.interruptLevel) return NDIS_STATUS_FAILURE;
  if (refuse(RequestKind::Interrupt)) return NDIS_STATUS_RESOURCES;
  interrupt->Signature = kInterruptMagic;
  interrupt->Adapter = this;
  interrupt->Vector = vector;
  interrupt->Level = level;
  interrupt_ = interrupt;
  requestIsr_ = requestIsr;
  if (line_) raiseInterrupt();
  return NDIS_STATUS_SUCCESS;
}

void AdapterRuntime::deregisterInterrupt(NDIS_MINIPORT_INTERRUPT* interrupt) {
  if (interrupt == nullptr || interrupt != interrupt_) {
    violation("NdisMDeregisterInterrupt: not the registered interrupt");
    return;
  }
  interrupt->Signature = 0;
  interrupt_ = nullptr;
}

// --- the chip's bus -------------------------------------------------------------------------

bool AdapterRuntime::dmaRead(std::uint32_t physical, std::span<std::uint8_t> into) {
  if (dma_.read(physical, into)) return true;
  ++dmaFaults_;
  violation("device read " + std::to_string(into.size()) + " bytes at physical " + std::to_string(physical) +
            ", outside the shared memory");
  return false;
}

bool AdapterRuntime::dmaWrite(std::uint32_t physical, std::span<const std::uint8_t> from) {
  if (dma_.write(physical, from)) return true;
  ++dmaFaults_;
  violation("device wrote " + std::to_string(from.size()) + " bytes at physical " + std::to_string(physical) +
            ", outside the shared memory");
  return false;
}

EventId AdapterRuntime::scheduleChipEvent(Micros delay, std::string_view label, EventAction action) {
  return scheduler_.after(delay, EventKind::Chip, label, std::move(action));
}

}  // namespace ndis
