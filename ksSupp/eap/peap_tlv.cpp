#include "ksSupp/eap/peap_tlv.h"

#include <dcf/dcfBytes.h>

namespace {

constexpr std::uint32_t kTlvHeaderSize = 4;
constexpr std::uint16_t kTlvMandatory = 0x8000;
constexpr std::uint16_t kTlvTypeMask = 0x3FFF;
constexpr std::uint16_t kTlvResult = 3;
constexpr std::uint16_t kResultSuccess = 1;
constexpr std::uint16_t kResultFailure = 2;

}  // namespace

PeapTlvOutcome ReadPeapTlvRequest(const std::uint8_t* data, std::uint32_t length) {
  if (data == nullptr || length < kTlvHeaderSize) return PeapTlvOutcome::kRefused;
  const std::uint16_t type = ReadBigEndian16(data);
  const std::uint16_t tlvLength = ReadBigEndian16(data + 2);
  if (length < kTlvHeaderSize + tlvLength) return PeapTlvOutcome::kRefused;
  if ((type & kTlvTypeMask) != kTlvResult) {
    return (type & kTlvMandatory) != 0 ? PeapTlvOutcome::kRefused : PeapTlvOutcome::kNone;
  }
  if (tlvLength < 2) return PeapTlvOutcome::kRefused;
  switch (ReadBigEndian16(data + kTlvHeaderSize)) {
    case kResultSuccess:
      return PeapTlvOutcome::kSuccess;
    case kResultFailure:
      return PeapTlvOutcome::kFailure;
    default:
      return PeapTlvOutcome::kRefused;
  }
}
