// The core's Send and Receive operations: the road of every data frame between the shell's
// send queue, the chip layer and NDIS.
#include <cstring>

#include "driver/core/core_adapter.h"
#include "driver/core/data_ciphers.h"
#include "driver/core/data_decapsulation.h"
#include "driver/core/data_encapsulation.h"
#include "driver/core/eapol_key_watch.h"
#include "driver/core/frame_tests.h"
#include "driver/core/management_receive.h"
#include "driver/core/pending_frame.h"
#include "driver/core/swiftbond_core.h"
#include "driver/hal/hal_adapter.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {
namespace {

constexpr std::uint32_t kEventEapolReceived = 132;

ULONG Drop(CoreAdapter* core, ReceiveRecord* record) {
  ReturnToChipLayer(core, record);
  return StatusFailure;
}

// A frame that failed a check, not one filtered out: it counts in OID_GEN_RCV_ERROR.
ULONG DropAsError(CoreAdapter* core, ReceiveRecord* record) {
  ++core->Counters.ReceiveErrors;
  return Drop(core, record);
}

// WEP, TKIP and CCMP protect every data frame but the 802.1X exchange.
bool ProtectedNetwork(const CoreAdapter* core) {
  const std::uint32_t status = core->Config.wepStatus;
  return status == 0 || status == 4 || status == 6;
}

// The key a fragment came under, as reassembly compares them; 0 in the clear.
std::uint32_t ReceivedKeyTag(const CoreAdapter* core, bool protectedFrame) {
  if (!protectedFrame) return 0;
  const ReceivedKey& key = core->Ciphers.Received;
  return 1 + (static_cast<std::uint32_t>(key.cipher) << 2 | key.slot);
}

bool UtilityAttached(const CoreAdapter* core) {
  const MiniportContext* context = core->Head.Container->Context;
  return context != nullptr && context->UtilityAttached != 0;
}

// The firmware is still taking an association the access point has accepted: its frame waits.
bool HoldUntilConnected(CoreAdapter* core, ReceiveRecord* record) {
  if (core->HeldReceive != nullptr || core->MlmeState != kMlmeAssociated || core->Config.networkMode != 1) return false;
  if (std::memcmp(record->Frame + kAddress2, core->Bssid.data(), 6) != 0) return false;
  core->HeldReceive = record;
  return true;
}

// The More Data bit of a received data frame, to the chip layer's power saving.
void TellPowerSaveMoreData(CoreAdapter* core, bool moreData) {
  if (core->Hal != nullptr) hal::PowerSaveEvent(core->Hal, moreData ? 2 : 3);  // traffic indicated, or none
}

}  // namespace

void ReadHeldFrame(CoreAdapter* core) {
  ReceiveRecord* held = core->HeldReceive;
  core->HeldReceive = nullptr;
  if (held == nullptr) return;
  // Connected to another network meanwhile, or not at all: the frame has no reader.
  if (core->MediaDisconnected || std::memcmp(held->Frame + kAddress2, core->Bssid.data(), 6) != 0) {
    Drop(core, held);
  } else {
    (void)Receive(core, held);
  }
}

void DropHeldFrame(CoreAdapter* core) {
  ReceiveRecord* held = core->HeldReceive;
  core->HeldReceive = nullptr;
  if (held != nullptr) Drop(core, held);
}

ULONG Send(CoreAdapter* core, SendDescriptor* record) {
  const ULONG status = DataFrameEncapsulate(core, record);
  if (status != StatusSuccess) {
    SendComplete(core, record, status);
    return StatusFailure;
  }
  if (PayloadLength(record) > core->Config.fragThreshold) {
    record->Flags |= kSendFragmented;
    return FragmentAndSend(core, record);
  }
  record->Flags &= ~kSendFragmented;
  // The chip layer has copied the frame, or refused it (a cipher without its key): a refused
  // frame completes as failed, never as sent.
  const ULONG sent = HalOps(core->Hal).Transmit(core->Hal, record);
  if (sent == StatusSuccess) ++core->Counters.Transmitted;
  SendComplete(core, record, sent == StatusSuccess ? StatusSuccess : StatusFailure);
  return sent == StatusSuccess ? StatusSuccess : StatusFailure;
}

ULONG Receive(CoreAdapter* core, ReceiveRecord* record) {
  // Whatever the chip layer hands up is bytes from the air: a frame shorter than its header,
  // or longer than its buffer, is not read at all.
  if (record->Length < kChipHeaderBytes || record->Length > record->Capacity) return DropAsError(core, record);
  std::uint8_t* frame = record->Frame;
  core->LastRssi = record->SignalDbm;  // what the BSS table and the link RSSI take

  if (IsManagementOrVendorFrame(frame, record->Length)) {
    if (HasSwiftBondHeader(frame, record->Length)) {
      SwiftBondReceive(core, record);
    } else {
      (void)ManagementFrameReceive(core, record);
    }
    ReturnToChipLayer(core, record);
    ++core->Counters.Received;
    return StatusSuccess;
  }
  if (core->MediaDisconnected) return HoldUntilConnected(core, record) ? StatusSuccess : Drop(core, record);

  TellPowerSaveMoreData(core, (FrameFlags(frame) & kFlagMoreData) != 0);
  ++core->Counters.Received;
  if ((FrameControl0(frame) & 0xF0) == 0x40) {  // subtype 4: no data to hand up
    ReturnToChipLayer(core, record);
    return StatusSuccess;
  }
  if (core->Config.networkMode == 1) {
    const bool fromBss = std::memcmp(frame + kAddress2, core->Bssid.data(), 6) == 0;
    if (IsGroupAddress(frame + kAddress1) && !fromBss) return Drop(core, record);
    if (fromBss) core->Link.MissedBeacons = 0;
  }

  if ((FrameFlags(frame) & kFlagProtected) != 0 && CkipHoldsFrames(core, frame, record->Length))
    return HoldPendingFrame(core, record);
  return ReceiveDataFrame(core, record);
}

ULONG ReceiveDataFrame(CoreAdapter* core, ReceiveRecord* record) {
  std::uint8_t* frame = record->Frame;
  const bool protectedFrame = (FrameFlags(frame) & kFlagProtected) != 0;
  if (protectedFrame) {
    const LONG length = Decrypt(core, frame, record->Length);
    if (length < static_cast<LONG>(kChipHeaderBytes) || static_cast<ULONG>(length) > record->Capacity)
      return DropAsError(core, record);
    record->Length = static_cast<ULONG>(length);
  }
  if (IsFragment(frame)) {
    // A fragment in the clear has no place in a protected network: joined to protected
    // ones it would smuggle its bytes into a frame that looks protected.
    if (!protectedFrame && ProtectedNetwork(core)) return DropAsError(core, record);
    switch (Reassemble(core->Reassembly, record, ReceivedKeyTag(core, protectedFrame), &ReturnToChipLayer, core)) {
      case ReassemblyResult::Deliver:
        break;
      case ReassemblyResult::Pending:
        return StatusSuccess;
      case ReassemblyResult::Dropped:
        return StatusFailure;
    }
  }
  if ((FrameFlags(record->Frame) & kFlagProtected) != 0 && !CheckReceiveMic(core, record)) return DropAsError(core, record);

  bool eapol = false;
  if (!DataFrameDecapsulate(core, record, eapol)) return DropAsError(core, record);
  if (eapol) WatchEapolKey(core, record->Frame, record->Length, false);
  if (eapol && UtilityAttached(core)) PostEvent(core, kEventEapolReceived, record->Frame, record->Length);
  ++core->Counters.Indicated;
  const ULONG status = IndicateFrame(core, record);
  if (status != StatusSuccess) return Drop(core, record);
  return StatusSuccess;
}

}  // namespace zelnic::core
