#pragma once
// What MAC management and station management keep beside the core's live fields: the
// chosen BSS's scratch copy, the saved association frames, the connection attempt, the
// roaming state and the pended NDIS set.
#include <cstdint>

#include "driver/core/bss_elements.h"
#include "driver/core/config.h"
#include "driver/core/pmkid_candidates.h"

namespace zelnic::core {

// MlmeState values beyond those the core names itself.
enum MlmeStep : std::uint16_t {
  kMlmeAuthSent = 1,
  kMlmeSharedKeySent = 2,
  kMlmeAssociationSent = 4,
  kMlmeReassociationSent = 6,
  kMlmeIbssJoining = 8,
  kMlmeIbssStarting = 10,
  kMlmeIbssRestarting = 12,
};

// Scan state word.
enum ScanStep : std::uint32_t {
  kScanIdle = 0,
  kScanStart = 1,
  kScanFirstChannel = 2,
  kScanChannelSet = 3,
  kScanBackHome = 4,
  kScanOnHome = 5,
  kScanHomeWait = 6,
  kScanDwellDone = 7,
  kScanEndSent = 9,
};

// Connect-reason word (or the OID that asked for the connection).
enum ConnectReason : std::uint32_t {
  kReasonNone = 0,
  kReasonRoaming = 1,
  kReasonNoAction = 2,
  kReasonReconnectAfterDeauth = 3,
  kReasonRoamScan = 4,
};

inline constexpr std::uint32_t kSavedRequestBytes = 255;
inline constexpr std::uint32_t kSavedResponseBytes = 256;

// The connection a roaming attempt can go back to.
struct SavedConnection {
  Ssid desiredSsid;
  std::uint8_t bssid[6];
  std::uint16_t beaconPeriod;
  std::uint16_t atimWindow;
  std::uint32_t frequency;
  std::uint8_t rates[14];
  std::uint16_t associationId;
  std::uint16_t capability;
  std::uint16_t mlmeState;
};

// The scan settings a measurement scan puts back when it ends.
struct MeasurementScanSaved {
  std::uint8_t probeAddress[6];
  Ssid probeSsid;
  std::uint8_t channels[14];
  bool passive;
};

struct StationState {
  // The chosen BSS, copied when a join starts.
  NDIS_WLAN_BSSID CurrentEntry;
  BssRecord CurrentBss;
  bool HaveCurrentBss;
  std::uint8_t TargetBssid[6];
  bool ChannelPending;
  std::uint8_t Rates[14];   // the rate set in use
  std::uint8_t TxRate;      // best common rate code of the BSS
  std::uint32_t TxRateIndex;
  std::uint32_t SavedTxPower;
  std::uint8_t Preamble;  // 2 short, 3 long: what the BSS offers
  std::uint8_t Erp;       // the BSS's ERP protection bit as last sent
  std::uint8_t RateMode;  // the chip layer's b/g rate mode: 3 b-only, 12 otherwise

  std::uint8_t AssociationRequest[kSavedRequestBytes];
  std::uint32_t AssociationRequestLength;  // 0 when the request was longer
  std::uint8_t AssociationResponse[kSavedResponseBytes];
  std::uint32_t AssociationResponseLength;

  bool SharedKeyFallback;  // authentication mode 2: shared key, then open
  std::uint32_t EncryptionStatus;  // NDIS values: 0 WEP, 4 TKIP, 6 AES, others none

  // StartConnect's attempt.
  std::uint32_t ConnectAttempts;
  bool ConnectScanDone;
  bool SetPended;  // an NDIS set answered pending waits for its completion

  // IBSS.
  std::uint8_t LastOwnIbssBssid[6];
  Ssid LastOwnIbssSsid;
  std::uint8_t LastOwnIbssChannel;

  // Roaming.
  SavedConnection Saved;
  std::uint32_t RoamAttempts;
  std::uint8_t WeakCount;
  std::uint8_t WeakFlag;
  bool TxFailSnapshot;
  std::uint32_t SnapshotTransmitted;
  std::uint32_t SnapshotFailed;
  std::uint32_t DeltaTransmitted;
  std::uint32_t DeltaFailed;

  // The scan request being run.
  std::uint8_t ScanProbeAddress[6];
  bool ScanPassive;
  bool BackgroundScan;  // started while associated
  std::uint32_t MeasurementDwellMs;  // a CCX beacon measurement's one-channel scan (0: another scan)
  MeasurementScanSaved MeasurementSaved;
  std::uint8_t RetryBytes[5];

  // The access points of the current network the supplicant may hold PMKSAs for.
  PmkidCandidateList PmkidCandidates;
};

}  // namespace zelnic::core
