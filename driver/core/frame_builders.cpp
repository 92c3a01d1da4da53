#include "driver/core/frame_builders.h"

#include <cstring>

#include "driver/core/core_adapter.h"
#include "driver/core/elements.h"
#include "driver/core/frame_tests.h"
#include "driver/core/key_installs.h"
#include "driver/core/leds.h"
#include "driver/core/little_endian.h"
#include "driver/core/management_frames.h"
#include "driver/core/rates.h"
#include "driver/core/station_seams.h"
#include "driver/hal/hal_adapter.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {
namespace {

constexpr std::uint16_t kSequenceNumbers = 4095;
constexpr std::uint8_t kKeptFlags = 0x08 | 0x10;  // retry, power management
constexpr std::uint8_t kFlagToDs = 0x01;
constexpr std::uint8_t kFlagPowerManagement = 0x10;
constexpr std::uint8_t kNullDataFrameControl = 0x48;  // type data, subtype 4
constexpr std::uint8_t kBeaconFrameControl = 0x80;
constexpr std::uint16_t kIbssStartCode = 0x0100;

// The body-length word of a chip-layout frame that ends at `end`; the total length.
std::uint32_t SetBodyLength(std::uint8_t* frame, const std::uint8_t* end) {
  const auto total = static_cast<std::uint32_t>(end - frame);
  Put16(frame, total - kChipHeaderBytes);
  return total;
}

void Queue(CoreAdapter* core, ManagementFrameBuffer* frame, const std::uint8_t* end) {
  frame->Length = SetBodyLength(frame->Buffer, end);
  QueueManagementFrame(core, frame);
}

// Supported Rates 1, 2, 5.5, 11 Mbit/s, all basic.
std::uint8_t* AppendBasicBRates(std::uint8_t* at) {
  std::uint8_t* element = at;
  at = AppendElement(at, kElementSupportedRates, kBRates.size(), kBRates.data());
  MarkBasicBRates(element);
  return at;
}

std::uint8_t* AppendOfdmRates(std::uint8_t* at) {
  return AppendElement(at, kElementExtendedRates, kOfdmRates.size(), kOfdmRates.data());
}

std::uint8_t* AppendSsid(std::uint8_t* at, const Ssid& ssid, bool toFirstZero) {
  std::uint32_t length = ssid.length <= 32 ? ssid.length : 32;
  if (toFirstZero) length = static_cast<std::uint32_t>(strnlen(reinterpret_cast<const char*>(ssid.bytes), length));
  return AppendElement(at, kElementSsid, static_cast<std::uint8_t>(length), ssid.bytes);
}

ULONG SendProbe(CoreAdapter* core, const std::uint8_t* destination, const std::uint8_t* bssid, const Ssid& ssid,
                bool toFirstZero, bool offerOfdm) {
  ManagementFrameBuffer* frame = TakeFrameBuffer(core);
  if (frame == nullptr) return StatusResources;
  std::uint8_t* f = frame->Buffer;
  BuildHeader(core, f, destination, kSubtypeProbeRequest);
  std::memcpy(f + kAddress3, bssid, 6);
  std::uint8_t* at = AppendSsid(f + kChipHeaderBytes, ssid, toFirstZero);
  at = AppendBasicBRates(at);
  if (offerOfdm) at = AppendOfdmRates(at);
  Queue(core, frame, at);
  return StatusSuccess;
}

}  // namespace

std::uint16_t NextSequenceNumber(CoreAdapter* core) {
  core->SequenceCounter = static_cast<std::uint16_t>(core->SequenceCounter % kSequenceNumbers + 1);
  return core->SequenceCounter;
}

void BuildHeader(CoreAdapter* core, std::uint8_t* frame, const std::uint8_t* destination, std::uint8_t subtype) {
  frame[2] = static_cast<std::uint8_t>((subtype & 0x0F) << 4);
  frame[3] &= kKeptFlags;
  Put16(frame + 4, 0);
  std::memcpy(frame + kAddress1, destination, 6);
  std::memcpy(frame + kAddress2, core->StationAddress.data(), 6);
  std::memcpy(frame + kAddress3, destination, 6);
  Put16(frame + kSequenceControl, static_cast<std::uint32_t>(NextSequenceNumber(core)) << 4);
  std::memset(frame + kSequenceControl + 2, 0, 6);  // address 4
}

ULONG SendDeauthentication(CoreAdapter* core, const std::uint8_t* destination, std::uint16_t reason) {
  SetLedPattern(core, kLedEventPowerOn);
  ManagementFrameBuffer* frame = TakeFrameBuffer(core);
  if (frame == nullptr) return StatusResources;
  BuildHeader(core, frame->Buffer, destination, kSubtypeDeauthentication);
  std::uint8_t* body = frame->Buffer + kChipHeaderBytes;
  Put16(body, reason);
  Queue(core, frame, body + 2);
  core->MlmeState = kMlmeIdle;
  return StatusSuccess;
}

ULONG SendProbeRequest(CoreAdapter* core) {
  return SendProbe(core, core->ProbeAddress.data(), core->ProbeAddress.data(), core->ProbeSsid, true, true);
}

ULONG SendProbeRequestTo(CoreAdapter* core, const std::uint8_t* address) {
  return SendProbe(core, address != nullptr ? address : kBroadcastAddress, core->Bssid.data(), core->CurrentSsid,
                   false, core->AdhocMode == 0);
}

ULONG SendNullData(CoreAdapter* core, bool powerSave) {
  if (core->MlmeState != kMlmeAssociated) return StatusFailure;
  ManagementFrameBuffer* frame = TakeFrameBuffer(core);
  if (frame == nullptr) return StatusResources;
  std::uint8_t* f = frame->Buffer;
  BuildHeader(core, f, core->Bssid.data(), 0);
  f[2] = kNullDataFrameControl;
  f[3] = static_cast<std::uint8_t>(kFlagToDs | (powerSave ? kFlagPowerManagement : 0));
  Queue(core, frame, f + kChipHeaderBytes);
  return StatusSuccess;
}

void BuildBeaconTemplate(CoreAdapter* core, IbssStartRecord& record, const IbssParameters& ibss,
                         const std::uint8_t* bssid) {
  std::memset(record.bytes, 0, sizeof record.bytes);
  std::uint8_t* f = record.bytes + kIbssRecordHeaderBytes;
  const bool newIbss = bssid == nullptr;
  if (newIbss) {
    core->Bssid = hal::RandomIbssBssid(core->Hal);
    bssid = core->Bssid.data();
  }
  BuildHeader(core, f, kBroadcastAddress, kSubtypeBeacon);
  f[2] = kBeaconFrameControl;
  std::memcpy(f + kAddress3, bssid, 6);

  std::uint8_t* at = f + kChipHeaderBytes + 8;  // the firmware stamps the timestamp
  Put16(at, ibss.beaconPeriod);
  Put16(at + 2, ibss.capability);
  at += 4;
  at = AppendSsid(at, ibss.ssid, false);
  at = AppendBasicBRates(at);
  at = AppendElement(at, kElementDsParameters, 1, &ibss.channel);
  std::uint8_t atim[2];
  Put16(atim, ibss.atimWindow);
  at = AppendElement(at, kElementIbssParameters, 2, atim);
  if (core->AdhocMode == 0 && ibss.channel <= 14 && (newIbss || !ibss.bOnly)) {
    const std::uint8_t erp = 0;
    at = AppendElement(at, kElementErp, 1, &erp);
    at = AppendOfdmRates(at);
  }
  if (WpaNoneMode(core)) at += AppendWpaNoneElement(core, at);

  SetBodyLength(f, at);
  record.length = static_cast<std::uint32_t>(at - record.bytes);
  Put16(record.bytes, kIbssStartCode);
  Put16(record.bytes + 2, record.length);
}

}  // namespace zelnic::core
