#pragma once
// The chip layer: everything that touches the adapter's hardware (register windows,
// interrupt, shared-memory buffers, firmware commands, firmware download). The station core
// creates it and reaches it through HalAdapterOps; it reaches the core only through the
// HalCoreLink the core hands it at creation.
#include <array>
#include <cstddef>
#include <cstdint>

#include "driver/hal/hal_adapter_ops.h"
#include "driver/hal/hal_configuration.h"
#include "driver/hal/hal_os.h"
#include "driver/hal/hardware_spec.h"
#include "driver/ndis/os_service_table.h"
#include "platform/ndis/ndis.h"

struct CoreAdapter;  // the station core, above

namespace zelnic::hal {

// What the chip layer needs of the station core above it. The core fills every slot.
struct HalCoreLink {
  CoreAdapter* core = nullptr;
  // The core's RadioOn word: 0 off, 1 on, 2 switched off by the hardware switch.
  std::uint32_t* radioOn = nullptr;
  void (*DisconnectByState)(CoreAdapter*, bool indicate) = nullptr;
  void (*PostUtilityEvent)(CoreAdapter*, std::uint32_t code, const void* payload,
                           std::uint32_t length) = nullptr;
  // Response 0x8014: the whole reply (44 bytes).
  void (*StoreFirmwareStatistics)(CoreAdapter*, const std::uint8_t* reply) = nullptr;
  void (*SetCcxWord)(CoreAdapter*, std::uint32_t) = nullptr;
  void (*StoreMeasurement)(CoreAdapter*, const std::uint32_t* words, std::uint32_t count) = nullptr;
  void (*FirmwareEvent)(CoreAdapter*) = nullptr;
};

using CommandCompletion = void (*)(CoreAdapter*);
using MacAddress = std::array<std::uint8_t, 6>;

// What the transmit and receive rings and power saving add to the deferred handler and to
// Stop when they are set up; a null slot has nothing to serve.
struct HalRingService {
  void (*ReceiveComplete)(HalAdapter*) = nullptr;        // cause 0x02
  void (*TransmitComplete)(HalAdapter*) = nullptr;       // cause 0x01
  void (*PowerSaveEvent)(HalAdapter*, int event) = nullptr;  // cause 0x08: event 1
  std::uint32_t (*SparesOutstanding)(HalAdapter*) = nullptr;  // receive buffers up in NDIS
};

struct CommandDescriptor {
  CommandDescriptor* link;
  std::uint8_t* buffer;     // its 512 bytes of shared memory
  std::uint64_t physical;
  CommandCompletion completion;
};

inline constexpr std::uint32_t kCommandBuffers = 88;
inline constexpr std::uint32_t kCommandBufferBytes = 512;

// The firmware command queue: free list, pending FIFO and the one command in flight, all
// under one lock.
struct CommandQueue {
  SharedBlock buffers;               // 88 x 512 bytes
  CommandDescriptor* descriptors;    // 88
  CommandDescriptor* freeHead;
  std::uint32_t freeCount;
  CommandDescriptor* pendingHead;
  CommandDescriptor* pendingTail;
  CommandDescriptor* inFlight;
  bool enabled;
  NDIS_SPIN_LOCK lock;
};

inline constexpr int kTimerPowerSaveWatch = 0;
inline constexpr int kTimerPowerSaveSleep = 1;
inline constexpr int kTimerTransmitRetry = 2;
inline constexpr int kTimerSpare = 3;

}  // namespace zelnic::hal

// The chip layer of one adapter. It begins with the head every chip layer has, so the shell
// and the core find its operations without knowing the rest.
struct HalAdapter {
  HalAdapterHead Head;               // operations table, owning AdapterContainer
  OsLayer* os;
  zelnic::hal::HalCoreLink link;
  AdapterResources* resources;

  // Transmission (the rings come with their own step).
  NDIS_SPIN_LOCK txLock;
  bool txEnabled;
  bool txLoopRunning;
  bool txRunAgain;
  bool txStopped;
  bool txBlockedUntilStart;
  bool takePendingSends;
  std::uint32_t txPowerSaveFlags;

  // Timers: power-save watch, power-save sleep, transmit retry, spare.
  NDIS_MINIPORT_TIMER timerObjects[4];
  OsTimerRecord timers[4];
  bool timersReady;
  NDIS_SPIN_LOCK powerSaveLock;
  bool locksReady;
  bool powerSaveBusy;
  std::uint32_t powerSaveFlags;      // bit 0: asleep
  std::uint32_t powerMode;           // 0 at start whatever the registry says
  zelnic::hal::HalRingService rings;

  // Interrupt.
  PNDIS_MINIPORT_INTERRUPT interrupt;
  std::uint32_t pendingCauses;       // written by the ISR and, synchronized with it, the DPC
  zelnic::hal::SharedBlock aliveWord;  // 4 bytes, 0xAA55AA55 while the firmware lives

  volatile std::uint8_t* window0;
  volatile std::uint8_t* window1;
  zelnic::hal::CommandQueue commands;

  // Ring memory: the chip learns these addresses at start.
  zelnic::hal::SharedBlock txRing;   // 64 buffers of 2,032 bytes + 64 descriptors of 32
  zelnic::hal::SharedBlock rxRing;   // 64 descriptors of 20 bytes + 128 buffers of 2,032
  bool sendPathLists;                // the OS layer's fragment and descriptor lists exist

  // Copied configuration.
  zelnic::hal::HalConfiguration config;
  std::uint32_t lastTxPowerSent;     // 0: none sent since the firmware started

  zelnic::hal::HardwareSpec spec;
  zelnic::hal::MacAddress currentMac;

  // Link statistics.
  std::uint64_t txSuccess;
  std::int32_t signalThreshold;
  std::uint32_t lowSignalCount;
  std::uint32_t txRateHistory[8];
  std::uint32_t rxRateHistory[8];
  zelnic::hal::MacAddress multicast[32];
  std::uint32_t multicastCount;
  std::uint32_t linkSpeed;

  std::uint32_t removed;
  std::uint32_t interruptsAllowed;
  std::uint32_t ledPattern;
};

namespace zelnic::hal {

// The one chip layer of the driver, and the one that has started (the core's link monitor
// reads the channel activity through it).
HalAdapter* TheHalAdapter();
HalAdapter* TheStartedHalAdapter();

// Creation, called by the core with the container (whose OS layer it allocates through):
// StatusSuccess and the new chip layer, or an internal status: StatusResources when an
// allocation failed, StatusAdapterNotFound when the PCI identity is not this chip's,
// StatusFailure when fewer than two memory windows came. Nothing is left on failure.
ULONG CreateHalAdapter(AdapterContainer* container, const HalConfiguration& config,
                       const HalCoreLink& link, HalAdapter** created);

// Interrupts and removal.
ULONG HalIsr(HalAdapter* hal);  // 1 when the interrupt is the adapter's
void HalInterruptDpc(HalAdapter* hal);
BOOLEAN IsChipGone(HalAdapter* hal);
void EnableInterrupts(HalAdapter* hal);
void DisableInterrupts(HalAdapter* hal);
// The shell's halt: radio off, then the chip's stop doorbell.
void StopFirmware(HalAdapter* hal);

// Small services for the core.
std::uint32_t RegionIndex(const HalAdapter* hal);
bool RadioIsOn(const HalAdapter* hal);
std::uint8_t ReadChannelActivity(HalAdapter* hal);
MacAddress RandomIbssBssid(HalAdapter* hal);
// The BSSID for a given system time (100 ns units) and station address.
MacAddress IbssBssidFrom(std::uint64_t systemTime, const MacAddress& station);

// The transmit service (the shell's send kick and the core's management queue start it).
void RunTransmitService(HalAdapter* hal);
// Transmission gate (the transmit ring fills in the rest).
void PauseTransmission(HalAdapter* hal);
void ResumeTransmission(HalAdapter* hal);
// Power saving for the current mode (0 at start): flags cleared, watch cancelled.
void RestartPowerSaving(HalAdapter* hal);
void RememberStartedHalAdapter(HalAdapter* hal);

// Register access on the two windows.
std::uint32_t ReadRegister(HalAdapter* hal, unsigned window, std::uint32_t offset);
void WriteRegister(HalAdapter* hal, unsigned window, std::uint32_t offset, std::uint32_t value);
std::uint8_t ReadRegisterByte(HalAdapter* hal, unsigned window, std::uint32_t offset);
void WriteRegisterByte(HalAdapter* hal, unsigned window, std::uint32_t offset, std::uint8_t value);

}  // namespace zelnic::hal
