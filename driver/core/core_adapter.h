#pragma once
// The station core: the portable 802.11 station of the driver. The shell reaches it through
// CoreAdapterOps and the few routines of ShellLinks; it reaches the chip layer through
// HalAdapterOps and the chip layer's services, and the operating system only through the
// OS-service table.
#include <array>
#include <cstdint>

#include "driver/core/bss_elements.h"
#include "driver/core/bss_key_table.h"
#include "driver/core/ccx_core.h"
#include "driver/core/ckip_data_path.h"
#include "driver/core/config.h"
#include "driver/core/core_adapter_ops.h"
#include "driver/core/core_timer.h"
#include "driver/core/data_ciphers.h"
#include "driver/core/key_table.h"
#include "driver/core/management_frames.h"
#include "driver/core/oid_state.h"
#include "driver/core/pending_frame.h"
#include "driver/core/rates.h"
#include "driver/core/reassembly.h"
#include "driver/core/station_state.h"
#include "driver/core/swiftbond_core.h"
#include "driver/hal/receive_record.h"
#include "driver/ndis/miniport_context.h"
#include "driver/ndis/os_service_table.h"

struct HalAdapter;

namespace zelnic::core {

// The three table buffers: BSS table, its shadow that OID queries read, the scan list.
inline constexpr std::uint32_t kBssTableBytes = 26731;
inline constexpr std::uint32_t kScanListBytes = 30843;

// MlmeState values the core itself uses.
enum MlmeStateValue : std::uint16_t {
  kMlmeIdle = 0,
  kMlmeAuthenticated = 3,
  kMlmeAssociated = 5,
  kMlmeIbssIdle = 7,
  kMlmeIbssJoined = 9,
  kMlmeIbssStarted = 11,
  kMlmeLinkLost = 13,
};

// Bits of the flags word (changed under the flags lock).
inline constexpr std::uint32_t kFlagConnecting = 0x1;
inline constexpr std::uint32_t kFlagScanning = 0x2;

// The 12 supported rates: the station's rate table.
inline constexpr std::array<std::uint8_t, 12> kSupportedRates = kStationRates;

// The core's mark on a send record whose frame goes out in fragments.
inline constexpr ULONG kSendFragmented = 0x100;

// The firmware's statistics reply: eight u32 counters from offset 12, in reply order.
inline constexpr std::uint32_t kFirmwareCounterCount = 8;
inline constexpr std::uint32_t kStatisticsReplyBytes = 44;

struct LinkCounters {
  std::uint16_t MissedBeacons;
  std::uint32_t AssociatedTicks;
  std::uint32_t BeaconsReceived;
  std::uint16_t ProbeTicks;
  std::uint16_t InterferenceSamples;
};

struct FrameCounters {
  std::uint32_t Received;    // frames the chip layer handed up
  std::uint32_t Indicated;   // frames indicated to NDIS
  std::uint32_t ReceiveErrors;  // received frames that failed a check (length, cipher, MIC, form)
  std::uint32_t Transmitted; // frames passed to the chip layer
  std::uint32_t Completed;   // NDIS sends completed as sent
  std::uint32_t Failed;      // NDIS sends completed as failed
  std::uint32_t FreeRecords; // send records given back
};

}  // namespace zelnic::core

struct CoreAdapter {
  CoreAdapterHead Head;  // operations table, owning container
  OsLayer* Os;
  HalAdapter* Hal;
  zelnic::StationConfig Config;  // from LoadAdapterConfig; Config.radioOn is the RadioOn word

  std::int32_t LinkRssi;
  std::uint8_t* BssTable;
  std::uint8_t* ShadowBssTable;
  // Beside each shadow entry, by index, its maker's element as the utility reads it.
  std::uint8_t ShadowBssExtras[zelnic::core::kMaxBss][zelnic::core::kMakerExtraRecordBytes];
  std::uint8_t* ScanList;
  zelnic::core::BssRecord Bss[zelnic::core::kMaxBss];  // beside each table entry, by index

  zelnic::MacAddress StationAddress;
  zelnic::MacAddress Bssid;
  zelnic::core::AdapterKeyTable Keys;  // wiped when the adapter is freed
  zelnic::core::BssKeyTables BssKeys;  // per access point; CCMP's keys; wiped when freed
  zelnic::core::PendingFrameState Pending;  // a frame held for its CKIP keys
  zelnic::core::CkipState Ckip;        // CKIP's key records and key ids
  zelnic::core::CipherState Ciphers;   // IV counter, the key of the last received frame, TKIP's state
  zelnic::Ssid CurrentSsid;
  zelnic::Ssid ProbeSsid;
  zelnic::MacAddress ProbeAddress;  // where a directed probe goes; broadcast unless a join set it
  std::uint32_t AdhocMode;     // AdhocGMode == 1
  std::uint32_t WirelessMode;  // 255; 1 means 802.11b only
  std::uint16_t BeaconPeriod;
  std::uint16_t AtimWindow;
  std::uint32_t Frequency;  // kHz, of the current BSS
  std::uint16_t Capability;
  std::uint32_t Privacy;        // of the current BSS
  std::uint16_t AssociationId;
  std::int32_t LastRssi;    // dBm of the frame being received, stored by the chip layer

  std::uint16_t MlmeState;
  std::uint32_t ScanState;
  std::uint32_t ConnectReason;
  std::uint8_t MediaDisconnected;  // set while there is no link; the shell refuses sends then
  // A data frame of the access point that came after its association response and before the
  // firmware took the association (its first EAPOL message comes at once): read once the
  // connection is indicated, instead of being lost.
  ReceiveRecord* HeldReceive = nullptr;
  std::uint32_t Flags;             // kFlagConnecting, kFlagScanning

  zelnic::core::LinkCounters Link;
  std::uint8_t HighTraffic;
  std::uint32_t ShownLedEvent;  // the LED event shown last
  std::uint8_t LinkLost;
  std::uint32_t SecondsSinceLinkLoss;
  bool LinkLossTickRunning;
  std::uint8_t EapolHoldOff;

  std::uint8_t ScanChannels[14];
  std::uint16_t ScanIndex;
  bool DwellPending;  // the scan listens on ScanChannels[ScanIndex]
  std::array<std::uint8_t, 12> SupportedRates;

  std::uint16_t SequenceCounter;
  zelnic::core::Reassembly Reassembly;
  zelnic::core::ManagementFrames Management;

  zelnic::core::CoreTimer Timers[zelnic::core::kCoreTimerCount];
  bool TimersReady;

  NDIS_SPIN_LOCK FlagsLock;
  NDIS_SPIN_LOCK CcxLock;
  bool LocksReady;

  zelnic::core::FrameCounters Counters;
  std::uint32_t FirmwareCounters[zelnic::core::kFirmwareCounterCount];
  std::uint16_t TxFailPhase;  // 0 idle, 1 statistics requested, 2 statistics arrived
  std::uint32_t CcxWord;
  std::uint32_t Measurement[8];

  zelnic::core::StationState Station;  // MAC and station management
  zelnic::core::OidState Oid;  // the OID layer's own values
  zelnic::core::SwiftBondCore SwiftBond;  // the one-touch exchange with a cooperating access point
  zelnic::core::CcxCore Ccx;  // radio measurement, AP reports, CCKM
};

namespace zelnic::core {

// Creation, as the shell's links name it: StatusSuccess in `status` and the core, or null
// and the failing step's status with nothing left behind.
CoreAdapter* CreateCoreAdapter(ULONG* status, AdapterContainer* container);
ULONG Init(CoreAdapter* core);
void StartCore(CoreAdapter* core);
void Halt(CoreAdapter* core, ULONG argument);
void Destroy(CoreAdapter* core);

BOOLEAN IsMediaConnected(CoreAdapter* core);
// The shadow BSS table as the control device's BSSID list reads it.
const UCHAR* ShadowBssList(CoreAdapter* core, ULONG* length);
// Beside it, one extra record of kMakerExtraRecordBytes per shadow entry.
const UCHAR* ShadowBssExtras(CoreAdapter* core);
// The shell's halt: leaves the network (a deauthentication when associated).
void LeaveNetworkForHalt(CoreAdapter* core);

ULONG Send(CoreAdapter* core, SendDescriptor* record);
ULONG Receive(CoreAdapter* core, ReceiveRecord* record);
// Receive from the decryption on: a data frame of the current network (also a frame that
// was held back for its keys).
ULONG ReceiveDataFrame(CoreAdapter* core, ReceiveRecord* record);
// The frame held while the association was completing: read (connected) or dropped.
void ReadHeldFrame(CoreAdapter* core);
void DropHeldFrame(CoreAdapter* core);
BOOLEAN IsFromCurrentBss(CoreAdapter* core, const UCHAR* frame);
BOOLEAN IsUnicastFromBss(CoreAdapter* core, const UCHAR* frame);

// Services of the chip layer and the OID layer.
bool PowerSaveAllowed(CoreAdapter* core);
std::uint32_t ResetLinkCounters(CoreAdapter* core);
bool ShortPreambleAllowed(CoreAdapter* core);
void StoreFirmwareStatistics(CoreAdapter* core, const std::uint8_t* reply);
void StatisticsArrived(CoreAdapter* core);

// The flags word, under the flags lock.
void SetFlags(CoreAdapter* core, std::uint32_t bits);
void ClearFlags(CoreAdapter* core, std::uint32_t bits);

// Gives a receive record back to the chip layer (`context` is the CoreAdapter); the record
// of a reassembled frame stays with the core and only becomes free again.
void ReturnToChipLayer(void* context, ReceiveRecord* record);

// NDIS_STATUS_MEDIA_SPECIFIC_INDICATION with `payload`, then the status-complete indication.
void IndicateMediaSpecific(CoreAdapter* core, const void* payload, std::uint32_t length);

// Posts a utility event when a control device can carry it.
void PostEvent(CoreAdapter* core, std::uint32_t code, const void* payload, std::uint32_t length);

}  // namespace zelnic::core
