#include "driver/core/ccx_cckm.h"

#include <cstring>

namespace zelnic::core {
namespace {

std::uint32_t Get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

constexpr std::uint32_t kElementRecordHeader = 8;

}  // namespace

void CckmHook::Request(const std::uint8_t (&timestamp)[8], const std::uint8_t (&bssid)[6]) {
  std::uint8_t request[kCckmRequestBytes];
  std::memcpy(request, timestamp, 8);
  std::memcpy(request + 8, bssid, 6);
  link_.IndicateStatus(kCckmRequestStatus, request, sizeof request);
  link_.PostEvent(kCckmRequestEvent, request, sizeof request);
  link_.ArmWait(kCckmWaitMs);
  armed_ = true;
  std::memcpy(target_, bssid, 6);
  elementLength_ = 0;
  state_ = kCckmWaiting;
}

void CckmHook::Disarm() {
  if (!armed_) return;
  link_.CancelWait();
  armed_ = false;
}

void CckmHook::GiveElement(const std::uint8_t* element, std::uint32_t length) {
  if (element != nullptr) {
    std::memcpy(element_, element, length);
    elementLength_ = length;
    state_ = kCckmGiven;
  } else {
    elementLength_ = 0;
    state_ = kCckmNone;
  }
  link_.SendReassociation(element != nullptr ? element_ : nullptr, elementLength_);
}

CckmRefusal CckmHook::SetElement(const std::uint8_t* record, std::uint32_t length) {
  if (record == nullptr || length < kElementRecordHeader) return CckmRefusal::RecordTooShort;
  const std::uint32_t valid = Get32(record);
  const std::uint32_t elementLength = Get32(record + 4);
  if (valid == 1) {
    // Refused before the wait is touched: the 500 ms fallback still sends the
    // reassociation, which would otherwise wait for ever for a further element.
    if (elementLength > kCckmMaxElement) return CckmRefusal::ElementTooLong;
    if (elementLength > length - kElementRecordHeader) return CckmRefusal::RecordTooShort;
  }
  Disarm();
  if (state_ != kCckmWaiting) return CckmRefusal::NotWaiting;
  GiveElement(valid == 1 ? record + kElementRecordHeader : nullptr, valid == 1 ? elementLength : 0);
  return CckmRefusal::None;
}

void CckmHook::WaitTimeout() {
  armed_ = false;
  if (state_ == kCckmWaiting) GiveElement(nullptr, 0);  // as a record with valid 0
}

CckmRefusal CckmHook::Cancel(const std::uint8_t* record, std::uint32_t length) {
  if (record == nullptr || length < 4) return CckmRefusal::RecordTooShort;
  if (!armed_) return CckmRefusal::None;
  Disarm();
  if (Get32(record) == 1) {
    state_ = kCckmNone;
    link_.Disconnect();
  } else if (state_ == kCckmWaiting) {
    // Nothing else would end the wait now: the reassociation goes without an element.
    GiveElement(nullptr, 0);
  }
  return CckmRefusal::None;
}

}  // namespace zelnic::core
