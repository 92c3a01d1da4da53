// Outgoing data: an NDIS 802.3 frame becomes one 802.11 data frame, or all its fragments,
// built whole in one frame buffer of the management pool (each fragment starting on a
// 4-byte boundary), which the chip layer copies into its ring instead of the packet's own
// buffers. Each fragment leaves room for its cipher around its data; the ring's Encrypt
// fills it.
#include <algorithm>
#include <cstring>

#include "driver/core/ckip_data_path.h"
#include "driver/core/core_adapter.h"
#include "driver/core/data_ciphers.h"
#include "driver/core/eapol_key_watch.h"
#include "driver/core/frame_builders.h"
#include "driver/core/frame_tests.h"
#include "driver/core/snap.h"
#include "driver/core/station_seams.h"
#include "driver/hal/chip_frames.h"
#include "driver/hal/hal_adapter.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {
namespace {

constexpr std::uint16_t kDurationUnicast = 258;
constexpr std::uint32_t kHeaderAndFcs = 28;  // what the threshold counts beside the body
constexpr std::uint8_t kTypeData = 0x08;
constexpr std::uint8_t kFlagToDs = 0x01;

// Copies `count` bytes from `offset` of the packet's buffer chain; false when the chain is
// shorter. The 802.3 header may be split across buffers: it is gathered like any bytes.
bool Gather(const SendDescriptor* record, std::uint32_t offset, std::uint8_t* into, std::uint32_t count) {
  for (const FragmentNode* f = record->Fragments; f != nullptr && count > 0; f = NextFragment(f)) {
    if (offset >= f->Length) {
      offset -= f->Length;
      continue;
    }
    const std::uint32_t take = std::min(count, f->Length - offset);
    std::memcpy(into, static_cast<const std::uint8_t*>(f->VirtualAddress) + offset, take);
    into += take;
    count -= take;
    offset = 0;
  }
  return count == 0;
}

std::uint32_t ChainLength(const SendDescriptor* record) {
  std::uint32_t total = 0;
  for (const FragmentNode* f = record->Fragments; f != nullptr; f = NextFragment(f)) total += f->Length;
  return total;
}

void PutLe16(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

}  // namespace

ULONG DataFrameEncapsulate(CoreAdapter* core, SendDescriptor* record) {
  std::uint8_t ethernet[kEthernetHeaderBytes];
  const std::uint32_t total = ChainLength(record);
  if (total < kEthernetHeaderBytes || !Gather(record, 0, ethernet, kEthernetHeaderBytes)) return StatusFailure;
  const std::uint8_t* destination = ethernet;
  const std::uint8_t* source = ethernet + 6;
  const auto type = static_cast<std::uint16_t>(ethernet[12] << 8 | ethernet[13]);
  const bool snap = type > kMaxLengthField;
  if (type == kEtherTypeEapol) {
    std::uint8_t start[kEthernetHeaderBytes + 4];
    if (Gather(record, 0, start, sizeof start)) WatchEapolKey(core, start, sizeof start, true);
  }
  TransmitProtection protection;
  if (!ChooseTransmitProtection(core, destination, type == kEtherTypeEapol, protection)) return StatusFailure;
  const bool protect = protection.cipher != FrameCipher::kNone;

  // The MSDU: SNAP header (when the type is an EtherType; CKIP's header in its place under
  // CMIC), the payload, TKIP's Michael MIC.
  const bool ckipHeader = snap && CkipHeaderApplies(core, protection);
  const std::uint32_t data = total - kEthernetHeaderBytes;
  const std::uint32_t typeHeader = ckipHeader ? kCkipHeaderWithTypeBytes : snap ? kSnapBytes : 0;
  const std::uint32_t msdu = data + typeHeader + protection.msduTrailer;
  if (msdu > kMaxMsduBytes) return StatusFailure;
  const std::uint32_t room = protection.headerRoom + protection.trailerRoom;  // per fragment
  const std::uint32_t threshold = std::max<std::uint32_t>(core->Config.fragThreshold, kHeaderAndFcs + room + 4);
  const std::uint32_t perFragment = threshold - kHeaderAndFcs - room;
  const std::uint32_t fragments = msdu + kHeaderAndFcs + room > threshold ? (msdu + perFragment - 1) / perFragment : 1;
  if (fragments > 16) return StatusFailure;  // the fragment number has four bits
  const std::uint32_t needed = fragments * (kChipHeaderBytes + room + 3) + msdu;
  if (needed > kManagementFrameBytes) return StatusFailure;

  std::uint8_t header[kChipHeaderBytes] = {};
  header[2] = kTypeData;
  header[3] = protect ? kFlagProtected : 0;
  if (core->Config.networkMode == 1) {
    header[3] |= kFlagToDs;
    std::memcpy(header + kAddress1, core->Bssid.data(), 6);
    std::memcpy(header + kAddress2, source, 6);
    std::memcpy(header + kAddress3, destination, 6);
  } else {
    std::memcpy(header + kAddress1, destination, 6);
    std::memcpy(header + kAddress2, source, 6);
    std::memcpy(header + kAddress3, core->Bssid.data(), 6);
  }
  PutLe16(header + 4, IsGroupAddress(destination) ? 0 : kDurationUnicast);

  std::uint8_t body[kMaxMsduBytes];
  std::uint32_t at = 0;
  if (ckipHeader) {
    at = WriteCkipHeader(core, body, type);
  } else if (snap) {
    WriteSnap(body, type);
    at = kSnapBytes;
  }
  if (!Gather(record, kEthernetHeaderBytes, body + at, data)) return StatusFailure;
  at += data;
  if (ckipHeader) CmicCompute(core, destination, source, body, at);
  if (protection.msduTrailer != 0) TkipAppendMic(core, protection, header, body, at);

  ManagementFrameBuffer* frame = TakeFrameBuffer(core);
  if (frame == nullptr) return StatusFailure;
  const std::uint16_t sequence = NextSequenceNumber(core);
  at = 0;
  std::uint32_t sent = 0;  // MSDU bytes placed so far
  for (std::uint32_t i = 0; i < fragments; ++i) {
    std::uint8_t* f = frame->Buffer + at;
    const std::uint32_t chunk = std::min(perFragment, msdu - sent);
    std::memcpy(f, header, kChipHeaderBytes);
    PutLe16(f, protection.headerRoom + chunk + protection.trailerRoom);
    PutLe16(f + kSequenceControl, static_cast<std::uint32_t>(sequence) << 4 | i);
    if (i + 1 < fragments) f[3] |= kFlagMoreFragments;
    std::uint8_t* out = f + kChipHeaderBytes;
    std::memset(out, 0, protection.headerRoom);
    std::memcpy(out + protection.headerRoom, body + sent, chunk);
    std::memset(out + protection.headerRoom + chunk, 0, protection.trailerRoom);
    sent += chunk;
    at += kChipHeaderBytes + room + chunk;
    if (i + 1 < fragments) at = (at + 3) & ~3u;
  }
  frame->Length = at;
  MarkSendRecord(record, protection);
  frame->SendFlags = record->Flags;
  record->Frame = frame;
  record->Flags |= hal::kSendFrameBuilt;
  return StatusSuccess;
}

// The MSDU as the threshold counts it: every fragment's body plus one header and FCS.
std::uint32_t PayloadLength(const SendDescriptor* record) {
  const auto* frame = static_cast<const ManagementFrameBuffer*>(record->Frame);
  if (frame == nullptr || (record->Flags & hal::kSendFrameBuilt) == 0) return record->TotalLength;
  std::uint32_t body = 0;
  for (std::uint32_t at = 0; at + kChipHeaderBytes <= frame->Length; at = hal::NextChipFrame(at, frame->Buffer + at))
    body += hal::ChipFrameBody(frame->Buffer + at);
  return body + kHeaderAndFcs;
}

// The fragments are in the record's frame already: one transmission carries them all.
ULONG FragmentAndSend(CoreAdapter* core, SendDescriptor* record) {
  const ULONG status = HalOps(core->Hal).Transmit(core->Hal, record);
  if (status == StatusSuccess) ++core->Counters.Transmitted;
  SendComplete(core, record, status == StatusSuccess ? StatusSuccess : StatusFailure);
  return status == StatusSuccess ? StatusSuccess : StatusFailure;
}

}  // namespace zelnic::core
