#include "driver/core/bss_data_frames.h"

#include <cstring>

#include "driver/core/core_adapter.h"
#include "driver/core/frame_builders.h"
#include "driver/core/frame_tests.h"
#include "driver/core/little_endian.h"
#include "driver/core/management_frames.h"

namespace zelnic::core {
namespace {

constexpr std::uint8_t kDataFrameControl = 0x08;
constexpr std::uint8_t kToDs = 0x01;
constexpr std::uint8_t kProtected = 0x40;
constexpr std::uint32_t kIvBytes = 4;

}  // namespace

ManagementFrameBuffer* BuildDataToBss(CoreAdapter* core, const std::uint8_t* body, std::uint32_t length,
                                      bool ivRoom) {
  const std::uint32_t room = ivRoom ? kIvBytes : 0;
  if (length + room + kChipHeaderBytes > kManagementFrameBytes) return nullptr;
  ManagementFrameBuffer* frame = TakeFrameBuffer(core);
  if (frame == nullptr) return nullptr;
  std::uint8_t* f = frame->Buffer;
  BuildHeader(core, f, core->Bssid.data(), 0);
  f[2] = kDataFrameControl;
  f[3] = static_cast<std::uint8_t>(kToDs | (ivRoom ? kProtected : 0));
  std::memset(f + kChipHeaderBytes, 0, room);
  std::memcpy(f + kChipHeaderBytes + room, body, length);
  Put16(f, length + room);
  frame->Length = kChipHeaderBytes + room + length;
  return frame;
}

bool SendDataToBss(CoreAdapter* core, const std::uint8_t* body, std::uint32_t length, bool ivRoom) {
  ManagementFrameBuffer* frame = BuildDataToBss(core, body, length, ivRoom);
  if (frame == nullptr) return false;
  QueueManagementFrame(core, frame);
  return true;
}

}  // namespace zelnic::core
