#include "driver/core/vendor_frames.h"

#include <cstring>

#include "driver/core/bss_data_frames.h"
#include "driver/core/core_adapter.h"
#include "driver/core/little_endian.h"
#include "driver/core/management_frames.h"
#include "driver/core/snap.h"
#include "driver/hal/firmware_commands.h"

namespace zelnic::core {
namespace {

constexpr std::uint16_t kReplyDuration = 258;
constexpr std::uint8_t kReply[3] = {0x03, 0x02, 0x00};

}  // namespace

void SendVendorModeReply(CoreAdapter* core) {
  std::uint8_t body[sizeof kMakerVendorHeader + sizeof kReply];
  std::memcpy(body, kMakerVendorHeader, sizeof kMakerVendorHeader);
  std::memcpy(body + sizeof kMakerVendorHeader, kReply, sizeof kReply);
  ManagementFrameBuffer* frame = BuildDataToBss(core, body, sizeof body);
  if (frame == nullptr) return;
  Put16(frame->Buffer + 4, kReplyDuration);
  if (!TransmitFrame(core, frame)) ReturnFrameBuffer(core, frame);
}

void AnswerVendorModeFrame(CoreAdapter* core, std::uint8_t mode) {
  if (core == nullptr) return;  // decapsulation alone (its fuzz harness): nothing to answer with
  SendVendorModeReply(core);
  hal::SendSetMode(core->Hal, 1, mode, 0);
}

}  // namespace zelnic::core
