#pragma once
// One adapter as NDIS sees it: the driver's registration, the resources the miniport holds
// (memory, shared memory, timers, pools, mapped windows, interrupt, devices), the chip on
// its bus, and what the miniport indicated. The NDIS calls in ndis_*.cpp work on it; the
// host (host.h) drives it. Internal to the runtime.
#include <deque>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/ndis/adapter_config.h"
#include "platform/ndis/device.h"
#include "platform/ndis/dma_space.h"
#include "platform/ndis/fault_injection.h"
#include "platform/ndis/host_records.h"
#include "platform/ndis/memory_ledger.h"
#include "platform/ndis/ndis.h"
#include "platform/ndis/protocol_binding.h"
#include "platform/ndis/protocol_sends.h"
#include "platform/ndis/scheduler.h"

namespace ndis {

class AdapterRuntime;

// Which adapter's driver code runs on this thread, and at what IRQL.
AdapterRuntime* CurrentAdapter();
KIRQL CurrentIrql();
void SetCurrentIrql(KIRQL irql);

// Enters an adapter's driver code at an IRQL for the life of the object.
class DriverContext {
public:
  DriverContext(AdapterRuntime& adapter, KIRQL irql);
  ~DriverContext();
  DriverContext(const DriverContext&) = delete;
  DriverContext& operator=(const DriverContext&) = delete;

private:
  AdapterRuntime* previousAdapter_;
  KIRQL previousIrql_;
};

// A fault with no adapter to charge it to (a register access nowhere, a handle that is
// not one): always fatal.
[[noreturn]] void FatalFault(const std::string& what);

// The adapter of the driver code running now; fatal when the call comes from nowhere.
AdapterRuntime& RequireAdapter(const char* call);

constexpr std::uint32_t kAdapterMagic = 0x4E444953;        // "NDIS"
constexpr std::uint32_t kWrapperMagic = 0x57524150;        // "WRAP"
constexpr std::uint32_t kConfigContextMagic = 0x43464758;  // "CFGX"
constexpr std::uint32_t kTimerMagic = 0x544D5220;          // "TMR "
constexpr std::uint32_t kSpinLockMagic = 0x53504C4B;       // "SPLK"
constexpr std::uint32_t kInterruptMagic = 0x494E5452;      // "INTR"
constexpr std::uint32_t kEventMagic = 0x45564E54;          // "EVNT"

class AdapterRuntime final : public DeviceBus {
public:
  AdapterRuntime(Scheduler& scheduler, ChipDevice& chip, AdapterConfig config);
  ~AdapterRuntime();
  AdapterRuntime(const AdapterRuntime&) = delete;
  AdapterRuntime& operator=(const AdapterRuntime&) = delete;

  // Handles given to the driver, and back.
  NDIS_HANDLE miniportHandle() { return this; }
  NDIS_HANDLE wrapperHandle() { return &wrapper_; }
  NDIS_HANDLE configurationContext() { return &configurationContext_; }
  static AdapterRuntime& fromMiniportHandle(NDIS_HANDLE handle, const char* call);
  static AdapterRuntime& fromWrapperHandle(NDIS_HANDLE handle, const char* call);
  static AdapterRuntime& fromConfigurationContext(NDIS_HANDLE handle, const char* call);

  Scheduler& scheduler() override { return scheduler_; }
  ChipDevice& chip() { return chip_; }
  const AdapterConfig& config() const { return config_; }

  // --- faults --------------------------------------------------------------------------
  void violation(const std::string& what);
  const std::vector<std::string>& violations() const { return violations_; }
  void requireIrqlAtMost(KIRQL highest, const char* call);
  void requirePassive(const char* call) { requireIrqlAtMost(PASSIVE_LEVEL, call); }
  void setFailureRule(FailureRule rule) { failureRule_ = std::move(rule); }
  // True when the failure rule refuses this request.
  bool refuse(RequestKind kind, std::size_t length = 0, std::uint32_t tag = 0);

  // Runs driver code as one event of the adapter's executor; the IRQL must come back
  // to where it started (a handler that returns holding a spin lock is a violation).
  template <class Call>
  void callDriver(KIRQL irql, const char* what, Call&& call) {
    const std::size_t locksBefore = heldLocks_.size();
    DriverContext context(*this, irql);
    call();
    checkReturnFromDriver(irql, what, locksBefore);
  }
  template <class Call>
  EventId queueDriverEvent(Micros delay, EventKind kind, KIRQL irql, const char* what, Call&& call) {
    return queue(delay, kind, what,
                 [this, irql, what, call = std::forward<Call>(call)]() mutable { callDriver(irql, what, call); });
  }
  // Queues runtime work that must not outlive the adapter.
  template <class Work>
  EventId queue(Micros delay, EventKind kind, const char* what, Work&& work) {
    return scheduler_.after(delay, kind, what, [alive = alive_, work = std::forward<Work>(work)]() mutable {
      if (*alive) work();
    });
  }

  // --- the driver and its registration -------------------------------------------------
  struct Wrapper {
    std::uint32_t magic = kWrapperMagic;
    AdapterRuntime* adapter = nullptr;
    bool initialized = false;
    bool registered = false;
    NDIS51_MINIPORT_CHARACTERISTICS characteristics{};
  };
  struct ConfigurationContext {
    std::uint32_t magic = kConfigContextMagic;
    AdapterRuntime* adapter = nullptr;
  };
  Wrapper& wrapper() { return wrapper_; }
  const NDIS51_MINIPORT_CHARACTERISTICS& handlers() const { return wrapper_.characteristics; }
  DRIVER_OBJECT* driverObject() { return &driverObject_; }
  UNICODE_STRING* registryPath() { return &registryPath_; }
  NDIS_HANDLE miniportContext() const { return miniportContext_; }
  AdapterAttributes& attributes() { return attributes_; }
  MapRegisterGrant& mapRegisters() { return mapRegisters_; }
  void setMiniportContext(NDIS_HANDLE context) { miniportContext_ = context; }

  // --- memory ----------------------------------------------------------------------------
  MemoryLedger& memory() { return memory_; }
  DmaSpace& dma() { return dma_; }
  // A driver block is going away: nothing live may sit inside it.
  void checkReleasedRange(const void* start, std::size_t length, const char* call);

  // --- spin locks and timers -------------------------------------------------------------
  // The spin locks held now, in the order taken (few at a time: a short list, no allocation).
  void noteLockHeld(NDIS_SPIN_LOCK* lock) { heldLocks_.push_back(lock); }
  // False when the lock was not held.
  bool noteLockReleased(NDIS_SPIN_LOCK* lock);
  // A timer the miniport initialized: arming it later allocates nothing.
  void noteTimer(NDIS_MINIPORT_TIMER* timer) { armedTimers_.try_emplace(timer); }
  void armTimer(NDIS_MINIPORT_TIMER* timer, UINT milliseconds, bool periodic, const char* call);
  bool cancelTimer(NDIS_MINIPORT_TIMER* timer);
  std::size_t armedTimers() const;
  // Disarms every timer the miniport left armed (at halt); they stay in the leak report.
  void cancelAllTimers();

  // --- packets and buffers --------------------------------------------------------------
  // A pool keeps what it made: a freed packet or buffer is reused by the next allocation,
  // so a miniport that allocates per frame costs nothing once the pool has grown.
  struct PacketPool {
    std::uint32_t magic = 0;
    AdapterRuntime* adapter = nullptr;
    UINT limit = 0;
    UINT protocolReservedLength = 0;
    bool hostOwned = false;
    std::size_t live = 0;               // allocated and not freed
    std::vector<NDIS_PACKET*> made;     // every packet, live or spare
    std::vector<NDIS_PACKET*> spare;
    ProtocolSends* sends = nullptr;  // a bound protocol's send slots, when the packets are theirs
    // A live packet of this pool (a freed one no longer names its pool).
    bool holds(const NDIS_PACKET* packet) const { return packet != nullptr && packet->Private.Pool == this; }
  };
  struct BufferPool {
    std::uint32_t magic = 0;
    AdapterRuntime* adapter = nullptr;
    bool hostOwned = false;
    std::size_t live = 0;
    std::vector<std::unique_ptr<NDIS_BUFFER>> made;
    std::vector<NDIS_BUFFER*> spare;
  };
  // `prepared` packets (buffers) are made at once, as NDIS makes a pool's descriptors, so the
  // miniport's first frames do not grow it.
  PacketPool* createPacketPool(UINT limit, UINT protocolReservedLength, bool hostOwned, std::size_t prepared = 0);
  void destroyPacketPool(PacketPool* pool);
  NDIS_PACKET* allocatePacket(PacketPool& pool);
  void freePacket(NDIS_PACKET* packet, const char* call);
  BufferPool* createBufferPool(bool hostOwned, std::size_t prepared = 0);
  void destroyBufferPool(BufferPool* pool);
  NDIS_BUFFER* allocateBuffer(BufferPool& pool, void* data, UINT length);
  void freeBuffer(NDIS_BUFFER* buffer, const char* call);
  static PacketPool* packetPoolOf(NDIS_HANDLE handle);
  static BufferPool* bufferPoolOf(NDIS_HANDLE handle);

  // --- PCI, windows, interrupt ------------------------------------------------------------
  std::vector<CM_PARTIAL_RESOURCE_DESCRIPTOR> resourceDescriptors() const;
  NDIS_STATUS mapIoSpace(PVOID* virtualAddress, std::uint64_t physical, UINT length);
  void unmapIoSpace(PVOID virtualAddress, UINT length);
  std::uint32_t readRegister(unsigned window, std::uint32_t offset, AccessWidth width);
  void writeRegister(unsigned window, std::uint32_t offset, AccessWidth width, std::uint32_t value);
  std::size_t mappedWindows() const { return mappedWindows_.size(); }
  std::map<UINT, UINT>& portRanges() { return portRanges_; }
  NDIS_STATUS registerInterrupt(NDIS_MINIPORT_INTERRUPT* interrupt, UINT vector, UINT level,
                                bool requestIsr);
  void deregisterInterrupt(NDIS_MINIPORT_INTERRUPT* interrupt);
  NDIS_MINIPORT_INTERRUPT* interrupt() const { return interrupt_; }
  std::size_t unclaimedInterrupts() const { return unclaimedInterrupts_; }

  // DeviceBus
  void setInterruptLine(bool asserted) override;
  bool dmaRead(std::uint32_t physical, std::span<std::uint8_t> into) override;
  bool dmaWrite(std::uint32_t physical, std::span<const std::uint8_t> from) override;
  EventId scheduleChipEvent(Micros delay, std::string_view label, EventAction action) override;
  std::size_t dmaFaults() const { return dmaFaults_; }

  // --- configuration ----------------------------------------------------------------------
  struct ConfigurationSession {
    std::uint32_t magic;
    AdapterRuntime* adapter;
    std::deque<NDIS_CONFIGURATION_PARAMETER> parameters;  // stable addresses
    std::deque<std::u16string> texts;
    std::vector<std::uint8_t> networkAddress;
  };
  ConfigurationSession* openConfiguration();
  void closeConfiguration(ConfigurationSession* session);
  static ConfigurationSession* configurationSessionOf(NDIS_HANDLE handle, const char* call);
  std::size_t openConfigurations() const { return configurations_.size(); }

  // --- control devices and events ---------------------------------------------------------
  struct Device {
    std::uint32_t magic;
    AdapterRuntime* adapter;
    DEVICE_OBJECT object;
    std::u16string name;
    std::u16string link;
    PDRIVER_DISPATCH dispatch[IRP_MJ_MAXIMUM_FUNCTION + 1];
  };
  Device* registerDevice(std::u16string name, std::u16string link, PDRIVER_DISPATCH dispatch[]);
  bool deregisterDevice(NDIS_HANDLE handle);
  Device* findDevice(std::u16string_view link);
  std::vector<std::u16string> deviceLinks() const;
  std::size_t devices() const { return devices_.size(); }
  // Event objects as user mode holds them: by a handle until it is closed, the object itself
  // until the driver's last reference goes too.
  KEVENT* createEvent(HANDLE* handle);
  KEVENT* eventOf(HANDLE handle);  // null once the handle is closed
  void closeEvent(HANDLE handle);
  // The driver let go of one reference; the last one frees an object whose handle is closed.
  void releaseEventReference(KEVENT* event);
  std::size_t eventReferences() const;
  std::size_t eventObjects() const { return events_.size() + closedEvents_.size(); }

  // --- what the miniport indicated ---------------------------------------------------------
  struct HostSend {
    std::uint64_t id;
    std::vector<std::uint8_t> bytes;
  };
  enum class PendingRequest : std::uint8_t { None, Query, Set, Reset };
  struct Indications {
    // Received frames and status indications wait for the host to take them; one that never
    // takes them (zelnicd without a protocol bound) holds only the latest (keepLatest).
    static constexpr std::size_t kReceivedKept = 1024;
    static constexpr std::size_t kStatusKept = 256;
    template <class T>
    static void keepLatest(std::vector<T>& kept, std::size_t limit, T item) {
      if (kept.size() >= limit) kept.erase(kept.begin());  // the oldest goes
      kept.push_back(std::move(item));
    }
    std::vector<EthFrame> received;
    std::vector<SendCompletion> sendCompletions;
    std::vector<StatusIndication> status;
    std::size_t statusCompletes = 0;
    std::vector<SpuriousCompletion> spurious;
    // Packets up in "the protocols", not yet given back to the miniport.
    std::vector<NDIS_PACKET*> held;
    ReturnPolicy returnPolicy;
    // Sends the host made and the miniport has not completed.
    std::map<NDIS_PACKET*, HostSend> hostSends;
    ProtocolBinding* protocol = nullptr;  // takes received frames in place of `received`
    PendingRequest pending = PendingRequest::None;
    bool requestCompleted = false;
    NDIS_STATUS requestStatus = NDIS_STATUS_SUCCESS;
    bool resetAddressing = false;
  };
  Indications& indications() { return indications_; }
  void indicateReceive(NDIS_PACKET** packets, UINT count);
  void sendComplete(NDIS_PACKET* packet, NDIS_STATUS status);
  void requestComplete(PendingRequest kind, NDIS_STATUS status, bool addressingReset = false);
  void returnPacket(NDIS_PACKET* packet);
  // True while the miniport may be called (initialized and not halted).
  bool running() const { return running_; }
  bool hasDevice(const Device* device) const;
  void setRunning(bool running) { running_ = running; }

  LeakReport leaks() const;

private:
  void checkReturnFromDriver(KIRQL irql, const char* what, std::size_t locksBefore);
  void raiseInterrupt();
  void serviceInterrupt();
  void runDeferred();
  void fireTimer(NDIS_MINIPORT_TIMER* timer, std::uint64_t generation);
  EventId queueTimer(NDIS_MINIPORT_TIMER* timer, UINT milliseconds);

  std::uint32_t magic_ = kAdapterMagic;
  Scheduler& scheduler_;
  ChipDevice& chip_;
  AdapterConfig config_;
  std::vector<std::string> violations_;
  FailureRule failureRule_;
  std::map<RequestKind, std::uint64_t> requestCounts_;
  bool running_ = false;

  Wrapper wrapper_;
  ConfigurationContext configurationContext_;
  DRIVER_OBJECT driverObject_{};
  UNICODE_STRING registryPath_{};
  NDIS_HANDLE miniportContext_ = nullptr;
  AdapterAttributes attributes_;
  MapRegisterGrant mapRegisters_;

  MemoryLedger memory_;
  DmaSpace dma_;
  std::size_t dmaFaults_ = 0;

  std::vector<NDIS_SPIN_LOCK*> heldLocks_;
  std::map<NDIS_MINIPORT_TIMER*, EventId> armedTimers_;  // every timer armed once; no id: not armed now
  std::uint64_t timerGeneration_ = 0;
  std::size_t timersLeftArmed_ = 0;
  // Every event the runtime queues holds this; the adapter's end turns them into no-ops.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

  std::map<PacketPool*, std::unique_ptr<PacketPool>> packetPools_;
  std::map<BufferPool*, std::unique_ptr<BufferPool>> bufferPools_;

  struct MappedWindow {
    std::uintptr_t start;
    UINT length;
    unsigned window;
    std::uint32_t offsetInWindow;
  };
  std::vector<MappedWindow> mappedWindows_;
  std::map<UINT, UINT> portRanges_;  // first port -> count
  NDIS_MINIPORT_INTERRUPT* interrupt_ = nullptr;
  bool requestIsr_ = true;
  bool line_ = false;
  bool isrQueued_ = false;
  bool deferredQueued_ = false;
  std::size_t unclaimedInterrupts_ = 0;
  int isrWithoutDeferred_ = 0;

  std::list<std::unique_ptr<ConfigurationSession>> configurations_;
  std::list<std::unique_ptr<Device>> devices_;
  std::map<std::uintptr_t, std::unique_ptr<KEVENT>> events_;       // by open handle
  std::map<KEVENT*, std::unique_ptr<KEVENT>> closedEvents_;         // handle closed, still referenced
  std::uintptr_t lastEventHandle_ = 0x100;

  Indications indications_;
};

}  // namespace ndis
