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
#include "driver/hal/receive_record.h"
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
  // The transmit service's sources and power saving's questions. A null slot answers "none"
  // (no management frame, an empty queue) and "not allowed".
  bool (*SendManagementFrame)(CoreAdapter*) = nullptr;
  std::uint32_t (*ManagementQueueLength)(const CoreAdapter*) = nullptr;
  bool (*PowerSaveAllowed)(CoreAdapter*) = nullptr;
  // The data path's frame test: a frame (chip layout) that needs the radio awake, such as an
  // EAPOL frame, ends power saving before it goes out. Null: no frame does.
  bool (*FrameNeedsRadioAwake)(CoreAdapter*, const std::uint8_t* frame) = nullptr;
  // The received frame's signal (dBm) in the core's statistics, before its Receive runs.
  void (*StoreSignal)(CoreAdapter*, std::int32_t dbm) = nullptr;
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

// The transmit ring: 64 buffers of 2,032 bytes, then 64 descriptors of 32 bytes.
inline constexpr std::uint32_t kRingEntries = 64;
inline constexpr std::uint32_t kRingBufferBytes = 2032;
inline constexpr std::uint32_t kTxDescriptorBytes = 32;
inline constexpr std::uint32_t kTxRingBytes = kRingEntries * (kRingBufferBytes + kTxDescriptorBytes);
// The receive ring: 64 descriptors of 20 bytes, then 128 buffers (64 in the ring, 64 spare).
inline constexpr std::uint32_t kRxDescriptorBytes = 20;
inline constexpr std::uint32_t kRxBuffers = 2 * kRingEntries;
inline constexpr std::uint32_t kRxRingBytes = kRingEntries * kRxDescriptorBytes + kRxBuffers * kRingBufferBytes;
inline constexpr std::uint32_t kRawFramePackets = 16;
inline constexpr std::uint32_t kRateHistory = 8;
inline constexpr std::uint32_t kRssiWindow = 10;

// A send record's mark: the frame goes out as it is, without the core's Encrypt.
inline constexpr ULONG kSendNoCipher = 0x200;
// A send record's mark: the core built the whole frame (data encapsulation); the packet's
// own buffers are not copied.
inline constexpr ULONG kSendFrameBuilt = 0x400;

struct TransmitRing {
  std::uint32_t writeIndex;
  std::uint32_t readIndex;
  std::uint32_t frames;       // in the ring, under the transmit lock
  std::uint32_t bytes;
  std::uint8_t rateCode;      // written into every descriptor; the core sets it
  std::uint64_t bytesSent;    // frames other than management handed to the chip
  std::uint64_t success;      // descriptors the chip completed with non-zero bits
  std::uint32_t dataFrames;   // frames other than management handed to the chip since the core cleared it
};

struct ReceiveRing {
  ReceiveRecord* records;                 // 128, each owning one buffer
  ReceiveRecord* inRing[kRingEntries];    // the record whose buffer each descriptor holds
  LockedList spares;                      // records free for a swap
  bool sparesReady;
  std::uint32_t readIndex;
  NDIS_HANDLE packetPool;                 // 128 receive packets, one per record
  NDIS_HANDLE bufferPool;
  std::uint32_t rssiBins[4];              // below 20, 20-39, 40-59, 60 and above
  std::uint32_t dropped;                  // no spare, or a length the buffer cannot hold
  std::uint64_t bytesReceived;            // frames other than management
  std::uint32_t dataFrames;               // frames other than management since the core cleared it
  std::int32_t lastSignalDbm;
};

// The 16 raw frames of OID_HLVN_SEND_FRAME: packets with a 2,032-byte buffer each.
struct RawFrames {
  NDIS_HANDLE packetPool;
  NDIS_HANDLE bufferPool;
  PNDIS_PACKET packets[kRawFramePackets];
  std::uint8_t* buffers;                  // kRawFramePackets x kRingBufferBytes
  LockedList list;
  bool listReady;
};

struct SignalStatistics {
  std::int32_t window[kRssiWindow];       // last RSSI values in dBm
  std::uint32_t count;
  std::uint32_t next;
  std::int32_t average;
  std::int32_t smoothed;
};

// Power saving: mode 0 off, 2 saving; flags below.
inline constexpr std::uint32_t kPsAsleep = 0x01;
inline constexpr std::uint32_t kPsWaitingForFrames = 0x02;
inline constexpr std::uint32_t kPsTrafficIndicated = 0x04;
inline constexpr std::uint32_t kPsWatchRunning = 0x08;
inline constexpr std::uint32_t kPsReevaluate = 0x10;

struct PowerSaveState {
  std::uint32_t listenInterval;   // DTIM count of the last beacon
  std::uint32_t beaconInterval;
  std::uint32_t dtimPeriod;
  std::uint32_t listenThreshold;
  bool beaconTraffic;             // the last beacon's TIM named the station
  std::uint32_t framesReceived;
  std::uint32_t framesAtLastWatch;
  bool enteringNow;               // the next sleep request is the first since the mode changed
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
  zelnic::hal::TransmitRing tx;
  zelnic::hal::ReceiveRing rx;
  zelnic::hal::RawFrames rawFrames;
  zelnic::hal::PowerSaveState powerSave;

  // Copied configuration.
  zelnic::hal::HalConfiguration config;
  std::uint32_t lastTxPowerSent;     // the level the firmware has: the configured one at start

  zelnic::hal::HardwareSpec spec;
  bool hardwareSpecRefused = false;  // a reply named ring registers outside window 0 (none taken)
  zelnic::hal::MacAddress currentMac;

  // Link statistics.
  zelnic::hal::SignalStatistics signal;
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

// The transmit ring (transmit_ring.cpp). HalTransmit copies one frame into the ring: 0, 20
// when the chip is gone, or the Encrypt operation's refusal (the frame is not sent).
ULONG HalTransmit(HalAdapter* hal, SendDescriptor* descriptor);
// The transmit service (the shell's send kick, the core's management queue, completion).
void RunTransmitService(HalAdapter* hal);
// Runs the transmit service once more in 1 ms (a frame queued outside the send path).
void ArmTransmitRetry(HalAdapter* hal);
void TransmitComplete(HalAdapter* hal);
// Pause: no new pass; waits up to 50 ms for the chip to give every descriptor back. With
// `strict`, StatusBusy when a pass still runs after that (transmission stays enabled).
ULONG PauseTransmission(HalAdapter* hal, bool strict = false);
void ResumeTransmission(HalAdapter* hal);
// Stop and resume pulling from the shell's queue (scanning, connecting).
void SetPullPendingSends(HalAdapter* hal, bool pull);
// The rate code of the frames the core sends from now on.
void SetTransmitRate(HalAdapter* hal, std::uint8_t rateCode);
// Frames and bytes in the transmit ring now.
std::uint32_t FramesInTransmitRing(HalAdapter* hal);
// Rate histories (units of 100 bit/s, 0 where empty) and their reset.
void ClearRateHistories(HalAdapter* hal);

// The receive ring (receive_ring.cpp).
void HalReceiveComplete(HalAdapter* hal);
void ReturnReceiveBuffer(HalAdapter* hal, ReceiveRecord* record);
// Hands `length` bytes at `data` (inside the record's buffer) to NDIS in the record's
// receive packet; the record comes back through ReturnReceiveBuffer when NDIS returns it.
ULONG IndicateReceivedFrame(HalAdapter* hal, ReceiveRecord* record, void* data, ULONG length);
// Receive records up in the core or in NDIS.
std::uint32_t ReceiveRecordsOutstanding(HalAdapter* hal);
// A free raw-frame packet, or null.
PNDIS_PACKET TakeRawFramePacket(HalAdapter* hal);

// Power saving (power_save.cpp).
void SetPowerMode(HalAdapter* hal, std::uint32_t mode);
// From the core's beacon handler: the beacon's DTIM count (listen interval), interval, DTIM
// period, whether its TIM names the station, and the beacon handler's listen value.
void PowerSaveBeaconUpdate(HalAdapter* hal, std::uint32_t listenInterval, std::uint32_t beaconInterval,
                           std::uint32_t dtimPeriod, bool trafficIndicated, std::uint32_t listenValue);
// Events 1 sleep ended, 2 traffic indicated, 3 no traffic, 5 watch stop, 6 a frame needs the
// radio awake.
void PowerSaveEvent(HalAdapter* hal, int event);
// Power saving for the current mode (0 at start): flags cleared, watch cancelled.
void RestartPowerSaving(HalAdapter* hal);
// The sleep timer's period for a sleep time (ms): sleep time x 5 - 100, at least 1.
std::uint32_t SleepTimerMs(std::uint32_t sleepTime);
void RememberStartedHalAdapter(HalAdapter* hal);

// Register access on the two windows.
std::uint32_t ReadRegister(HalAdapter* hal, unsigned window, std::uint32_t offset);
void WriteRegister(HalAdapter* hal, unsigned window, std::uint32_t offset, std::uint32_t value);
std::uint8_t ReadRegisterByte(HalAdapter* hal, unsigned window, std::uint32_t offset);
void WriteRegisterByte(HalAdapter* hal, unsigned window, std::uint32_t offset, std::uint8_t value);

}  // namespace zelnic::hal
