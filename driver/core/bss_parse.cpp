#include "driver/core/bss_parse.h"

#include <algorithm>
#include <cstring>

#include "driver/core/channels.h"
#include "driver/core/core_adapter.h"
#include "driver/core/frame_tests.h"
#include "driver/core/security_elements.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {
namespace {

constexpr std::uint16_t kCapabilityEss = 0x0001;
constexpr std::uint16_t kCapabilityIbss = 0x0002;
constexpr std::uint16_t kCapabilityPrivacy = 0x0010;
constexpr std::uint8_t kCcxElement[] = {0x00, 0x40, 0x96, 0x01};
constexpr std::uint8_t kMakerElement[] = {0x02, 0x5A, 0x9C, 0x00, 0x00};

std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

bool StartsWith(const std::uint8_t* content, std::uint32_t length, const std::uint8_t* prefix, std::uint32_t size) {
  return length >= size && std::memcmp(content, prefix, size) == 0;
}

// The parse of one frame: where it stands and what it has found so far.
struct Parse {
  const CoreAdapter* core;
  const std::uint8_t* frame;
  NDIS_WLAN_BSSID& entry;
  BssElements& elements;
  std::uint32_t supportedCount = 0;
  std::uint32_t ratesCount = 0;
  bool ibssParametersSeen = false;
};

// In the associated state the current BSS keeps the current SSID, whatever it beacons
// (an access point that hides its name sends an empty or blank one).
void TakeSsid(Parse& p, const std::uint8_t* content, std::uint32_t length) {
  const CoreAdapter* core = p.core;
  if (core->MlmeState == kMlmeAssociated && std::memcmp(p.frame + kAddress3, core->Bssid.data(), 6) == 0) {
    content = core->CurrentSsid.bytes;
    length = std::min<std::uint32_t>(core->CurrentSsid.length, 32);
  }
  p.entry.Ssid.SsidLength = length;
  std::memcpy(p.entry.Ssid.Ssid, content, length);
  p.elements.SsidLength = length;
  std::memcpy(p.elements.Ssid, content, length);
}

void TakeRates(Parse& p, const std::uint8_t* content, std::uint32_t length, bool extended) {
  if (!extended) {
    const std::uint32_t kept = std::min<std::uint32_t>(length, sizeof p.entry.SupportedRates);
    std::memcpy(p.entry.SupportedRates, content, kept);
  } else {
    p.entry.NetworkTypeInUse = Ndis802_11OFDM24;
  }
  const std::uint32_t room = sizeof p.elements.Rates - p.ratesCount;
  const std::uint32_t kept = std::min(length, room);
  std::memcpy(p.elements.Rates + p.ratesCount, content, kept);
  p.ratesCount += kept;
}

// The channel the frame names must be the one the station listens on: during a dwell the
// channel being scanned; between dwells of a running scan no frame is taken.
bool TakeChannel(Parse& p, std::uint8_t channel) {
  const CoreAdapter* core = p.core;
  if (p.elements.Channel == 0 && IsChannelAllowed(core, channel)) {
    p.elements.Channel = channel;
    p.entry.Configuration.DSConfig = ChannelFrequency(channel);
  }
  if (core->DwellPending) return core->ScanIndex < kChannelListBytes && channel == core->ScanChannels[core->ScanIndex];
  return (core->Flags & kFlagScanning) == 0;
}

// The partial virtual bitmap starts at byte N1 (the bitmap control's offset, an even number)
// of the traffic indication map; the station's bit is its association ID's.
void TakeTim(Parse& p, const std::uint8_t* content, std::uint32_t length) {
  p.elements.DtimCount = content[0];
  p.elements.DtimPeriod = content[1];
  const std::uint32_t aid = p.core->AssociationId & 0x3FFF;
  const std::uint32_t firstByte = content[2] & 0xFE;
  const std::uint32_t byte = aid / 8;
  if (aid == 0 || byte < firstByte || byte - firstByte >= length - 3) return;
  if ((content[3 + byte - firstByte] >> (aid % 8)) & 1) p.elements.TrafficPending = 1;
}

void TakeVendor(Parse& p, const std::uint8_t* element, std::uint32_t length) {
  const std::uint8_t* content = element + 2;
  if (StartsWith(content, length, kCcxElement, sizeof kCcxElement)) {
    std::memcpy(p.elements.Ccx, element, 2 + length);  // at most 257 bytes
  } else if (StartsWith(content, length, kMakerElement, sizeof kMakerElement) && 2 + length <= kMakerSlotBytes) {
    std::memcpy(p.elements.Maker, element, 2 + length);
    p.elements.MakerPresent = 1;
  }
}

// One element; false when it makes the whole frame unacceptable.
bool TakeElement(Parse& p, const std::uint8_t* element) {
  const std::uint8_t id = element[0];
  const std::uint32_t length = element[1];
  const std::uint8_t* content = element + 2;
  switch (id) {
    case kElementSsid:
      if (length > 32) return false;
      TakeSsid(p, content, length);
      return true;
    case kElementSupportedRates:
    case kElementExtendedRates:
      TakeRates(p, content, length, id == kElementExtendedRates);
      return true;
    case kElementDsParameters:
      return length < 1 || TakeChannel(p, content[0]);
    case kElementCfParameters:
      if (length >= 6) {
        p.elements.CfpCount = content[0];
        p.elements.CfpPeriod = content[1];
        p.elements.CfpMaxDuration = Get16(content + 2);
      }
      return true;
    case kElementTim:
      if (length >= 4) TakeTim(p, content, length);
      return true;
    case kElementIbssParameters:
      if (length >= 2 && !p.ibssParametersSeen) {
        p.ibssParametersSeen = true;
        p.elements.AtimWindow = Get16(content);
        p.entry.Configuration.ATIMWindow = p.elements.AtimWindow;
      }
      return true;
    case kElementErp:
      if (length >= 1) p.elements.Erp = content[0];
      return true;
    case kElementVendor:
      TakeVendor(p, element, length);
      return true;
    default:
      return true;
  }
}

}  // namespace

ULONG ParseBssFromFrame(const CoreAdapter* core, const std::uint8_t* frame, std::uint32_t length,
                        NDIS_WLAN_BSSID& entry, BssElements& elements) {
  entry = NDIS_WLAN_BSSID{};
  elements = BssElements{};
  if (length < kChipHeaderBytes + kFixedFieldBytes) return StatusFailure;
  const std::uint8_t* body = frame + kChipHeaderBytes;
  const std::uint32_t bodyLength = length - kChipHeaderBytes;

  entry.Length = sizeof(NDIS_WLAN_BSSID);
  std::memcpy(entry.MacAddress, frame + kAddress3, 6);
  std::memcpy(elements.Bssid, frame + kAddress3, 6);
  std::memcpy(elements.Timestamp, body, 8);
  elements.BeaconInterval = Get16(body + 8);
  elements.Capability = Get16(body + 10);
  entry.Configuration.Length = sizeof(NDIS_802_11_CONFIGURATION);
  entry.Configuration.BeaconPeriod = elements.BeaconInterval;
  entry.NetworkTypeInUse = Ndis802_11DS;
  entry.Privacy = (elements.Capability & kCapabilityPrivacy) != 0 ? 1 : 0;
  entry.InfrastructureMode = (elements.Capability & kCapabilityIbss) != 0  ? Ndis802_11IBSS
                             : (elements.Capability & kCapabilityEss) != 0 ? Ndis802_11Infrastructure
                                                                           : Ndis802_11AutoUnknown;

  Parse p{core, frame, entry, elements};
  for (std::uint32_t at = kFixedFieldBytes; at + 2 <= bodyLength;) {
    const std::uint32_t size = 2u + body[at + 1];
    if (size > bodyLength - at) break;  // an element that runs past the frame ends the walk
    if (!TakeElement(p, body + at)) return StatusFailure;
    at += size;
  }
  // A BSS with few Supported Rates lists its faster ones as Extended Supported Rates.
  if (entry.SupportedRates[5] == 0 && elements.Rates[5] != 0) std::memcpy(entry.SupportedRates + 4, elements.Rates + 4, 4);
  return StatusSuccess;
}

void ParseBssSecurity(CoreAdapter* core, int bssIndex) {
  BssRecord& bss = core->Bss[bssIndex];
  const std::uint32_t length = bss.BlockLength < sizeof bss.Block ? bss.BlockLength : sizeof bss.Block;
  ExtractSecurityElements(bss.Block, length, bss.WpaElement, bss.RsnElement);
}

bool IsCurrentNetwork(const CoreAdapter* core, const NDIS_WLAN_BSSID& entry) {
  if (std::memcmp(entry.MacAddress, core->Bssid.data(), 6) != 0) return false;
  if (entry.Configuration.DSConfig != core->Frequency) return false;
  if (entry.Privacy != core->Privacy) return false;
  if (entry.Ssid.SsidLength == 0) return true;
  return entry.Ssid.SsidLength == core->CurrentSsid.length &&
         std::memcmp(entry.Ssid.Ssid, core->CurrentSsid.bytes, entry.Ssid.SsidLength) == 0;
}

}  // namespace zelnic::core
