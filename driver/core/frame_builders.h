#pragma once
// The management and null-data frames the station builds itself, in the chip layout, and
// the IBSS beacon template the firmware beacons from. Built frames go out through the
// management transmit queue.
#include <array>
#include <cstdint>

#include "driver/core/config.h"
#include "platform/ndis/ndis_types.h"

struct CoreAdapter;

namespace zelnic::core {

enum ManagementSubtype : std::uint8_t {
  kSubtypeAssociationRequest = 0,
  kSubtypeAssociationResponse = 1,
  kSubtypeReassociationRequest = 2,
  kSubtypeReassociationResponse = 3,
  kSubtypeProbeRequest = 4,
  kSubtypeProbeResponse = 5,
  kSubtypeBeacon = 8,
  kSubtypeAtim = 9,
  kSubtypeDisassociation = 10,
  kSubtypeAuthentication = 11,
  kSubtypeDeauthentication = 12,
};

inline constexpr std::uint8_t kBroadcastAddress[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// The next sequence number of the station's frames: 1, 2, ..., 4095, 1, ...
std::uint16_t NextSequenceNumber(CoreAdapter* core);

// A management header of `subtype`: the flags byte keeps only its retry and power-management
// bits; duration 0; address 1 and 3 `destination`, address 2 the station; the next sequence
// number with fragment number 0.
void BuildHeader(CoreAdapter* core, std::uint8_t* frame, const std::uint8_t* destination, std::uint8_t subtype);

// Each queues its frame: StatusSuccess, or StatusResources when the pool had no frame.
ULONG SendDeauthentication(CoreAdapter* core, const std::uint8_t* destination, std::uint16_t reason);
// To the probe address, asking for the probe SSID (up to its first zero byte).
ULONG SendProbeRequest(CoreAdapter* core);
// To `address` (broadcast when null), address 3 the current BSSID, asking for the current SSID.
ULONG SendProbeRequestTo(CoreAdapter* core, const std::uint8_t* address);
// Associated only (else StatusFailure): a null-data frame to the BSS, the power-management
// bit telling whether the station goes to sleep.
ULONG SendNullData(CoreAdapter* core, bool powerSave);

// What an IBSS beacon announces.
struct IbssParameters {
  Ssid ssid;
  std::uint16_t beaconPeriod = 100;
  std::uint16_t atimWindow = 0;
  std::uint16_t capability = 0;
  std::uint8_t channel = 1;
  bool bOnly = false;  // the joined BSS offers 802.11b rates only
};

// The firmware's IBSS start record: {u16 code 0x0100, u16 record size, 4 zero bytes}, then
// the beacon in the chip layout (its body-length word set).
inline constexpr std::uint32_t kIbssRecordHeaderBytes = 8;
inline constexpr std::uint32_t kIbssRecordBytes = 512;
struct IbssStartRecord {
  std::uint8_t bytes[kIbssRecordBytes];
  std::uint32_t length;
};

// Builds the beacon template. With `bssid` null a new BSSID comes from the chip layer and
// becomes the current BSSID.
void BuildBeaconTemplate(CoreAdapter* core, IbssStartRecord& record, const IbssParameters& ibss,
                         const std::uint8_t* bssid);

}  // namespace zelnic::core
