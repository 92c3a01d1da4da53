// Incoming data: a received 802.11 data frame becomes an 802.3 frame in place. The SNAP
// header is stripped (RFC 1042 and bridge tunnel; the maker's vendor header with its type,
// after the frame is answered), the 802.3 header is written just before the payload from the
// addresses the DS bits name, and the record's start moves to it.
#include <cstring>

#include "driver/core/ccx_core.h"
#include "driver/core/ckip_data_path.h"
#include "driver/core/core_adapter.h"
#include "driver/core/frame_tests.h"
#include "driver/core/snap.h"
#include "driver/core/station_seams.h"
#include "driver/core/vendor_frames.h"
#include "driver/hal/hal_adapter.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {
namespace {

constexpr std::uint32_t kAddress4 = 26;
constexpr std::uint32_t kMaxRemaining = 1534;  // length - 2 - stripped
constexpr std::uint8_t kFlagToDs = 0x01;
constexpr std::uint8_t kFlagFromDs = 0x02;

}  // namespace

bool DataFrameDecapsulate(CoreAdapter* core, ReceiveRecord* record, bool& eapol) {
  eapol = false;
  if (record->Length < kChipHeaderBytes || record->Length > record->Capacity) return false;
  std::uint8_t* frame = record->Frame;
  const std::uint32_t body = record->Length - kChipHeaderBytes;
  const std::uint8_t* llc = frame + kChipHeaderBytes;

  // IAPP frames of a CCX access point are the station core's own: not indicated.
  if (IsIappFrame(llc, body)) {
    CcxReceiveIapp(core, llc, body);
    return false;
  }

  std::uint32_t stripped = 0;
  std::uint16_t typeOrLength = static_cast<std::uint16_t>(body);
  bool vendorMode = false;
  if (body >= kSnapBytes && std::memcmp(llc, kMakerVendorHeader, kSnapBytes) == 0) {
    // The maker's vendor-mode frame: header, type, mode byte. Without its mode byte there is
    // nothing to answer, and it is no 802.3 frame either.
    if (body < kVendorModeFrameBytes) return false;
    vendorMode = true;
    stripped = kVendorModeStripped;
    typeOrLength = static_cast<std::uint16_t>(llc[8] << 8 | llc[9]);
  } else if (body >= kCkipHeaderWithTypeBytes && std::memcmp(llc, kCkipSnap, kCkipSnapBytes) == 0) {
    // CKIP: SNAP, CMIC and SEQ (checked already), then the EtherType.
    stripped = kCkipHeaderWithTypeBytes;
    typeOrLength = static_cast<std::uint16_t>(llc[kCkipHeaderBytes] << 8 | llc[kCkipHeaderBytes + 1]);
    eapol = typeOrLength == kEtherTypeEapol;
  } else if (body >= kSnapBytes) {
    const auto type = static_cast<std::uint16_t>(llc[6] << 8 | llc[7]);
    const bool rfc1042 = std::memcmp(llc, kRfc1042, 6) == 0;
    const bool tunnel = std::memcmp(llc, kBridgeTunnel, 6) == 0;
    // An RFC 1042 frame of a bridge-tunnel protocol was a length frame on its own LAN: it
    // goes up as one, SNAP header kept.
    if (tunnel || (rfc1042 && !IsBridgeTunnelType(type))) {
      stripped = kSnapBytes;
      typeOrLength = type;
      eapol = type == kEtherTypeEapol;
    }
  }
  if (record->Length - 2 - stripped > kMaxRemaining) return false;
  if (vendorMode) AnswerVendorModeFrame(core, llc[kVendorModeStripped]);

  const std::uint8_t flags = FrameFlags(frame);
  const bool toDs = (flags & kFlagToDs) != 0;
  const bool fromDs = (flags & kFlagFromDs) != 0;
  std::uint8_t header[kEthernetHeaderBytes];
  std::memcpy(header, frame + (toDs ? kAddress3 : kAddress1), 6);
  std::memcpy(header + 6, frame + (!fromDs ? kAddress2 : toDs ? kAddress4 : kAddress3), 6);
  header[12] = static_cast<std::uint8_t>(typeOrLength >> 8);
  header[13] = static_cast<std::uint8_t>(typeOrLength);

  const std::uint32_t payload = kChipHeaderBytes + stripped;
  std::memcpy(frame + payload - kEthernetHeaderBytes, header, kEthernetHeaderBytes);
  record->Frame = frame + payload - kEthernetHeaderBytes;
  record->Capacity -= payload - kEthernetHeaderBytes;
  record->Length = record->Length - payload + kEthernetHeaderBytes;
  return true;
}

// A reassembled frame lives in the core's own record, which has no receive packet: it is
// not indicated (dropped, counted as failed).
ULONG IndicateFrame(CoreAdapter* core, ReceiveRecord* record) {
  if (record->Packet == nullptr) return StatusFailure;
  return hal::IndicateReceivedFrame(core->Hal, record, record->Frame, record->Length);
}

}  // namespace zelnic::core
