#include "ksLib_OSSL/peap_v0_framing.h"

#include <dcf/dcfBytes.h>
#include <dcf/dcfEapHeader.h>

namespace {

constexpr std::uint16_t kTlvTypeMask = 0x3FFF;
constexpr std::uint16_t kTlvResult = 3;
constexpr std::uint16_t kMandatoryResult = 0x8003;
constexpr std::uint8_t kResultResponseLength = 11;
constexpr std::uint32_t kMinTlvData = 6;  // TLV header and the 2-byte status

// The status of a Result TLV that opens a whole EAP-TLV packet; 0 when it is not one.
std::uint16_t ResultStatus(const std::uint8_t* data, std::uint32_t length) {
  std::uint8_t code = 0;
  std::uint8_t identifier = 0;
  std::uint16_t eapLength = 0;
  if (!ParseEapHeader(data, length, code, identifier, eapLength)) return 0;
  if ((code != kEapCodeRequest && code != kEapCodeResponse) ||
      eapLength < kEapTypedHeaderSize + kMinTlvData || data[4] != kEapTypeTlv) {
    return 0;
  }
  const std::uint8_t* tlv = data + kEapTypedHeaderSize;
  if ((ReadBigEndian16(tlv) & kTlvTypeMask) != kTlvResult || ReadBigEndian16(tlv + 2) < 2) {
    return 0;
  }
  const std::uint16_t status = ReadBigEndian16(tlv + 4);
  return status == 0 ? 0xFFFF : status;  // any status other than 1 is a failure
}

}  // namespace

bool CompressPeapV0Packet(const std::uint8_t* packet, std::uint32_t length, PeapV0State& state,
                          SecureByteArray& out) {
  std::uint8_t code = 0;
  std::uint8_t identifier = 0;
  std::uint16_t eapLength = 0;
  if (!ParseEapHeader(packet, length, code, identifier, eapLength)) return false;
  switch (code) {
    case kEapCodeSuccess:
    case kEapCodeFailure: {
      const std::uint8_t result[kResultResponseLength] = {
          kEapCodeResponse, identifier, 0, kResultResponseLength, kEapTypeTlv,
          kMandatoryResult >> 8, kMandatoryResult & 0xFF, 0, 2, 0,
          static_cast<std::uint8_t>(code == kEapCodeSuccess ? 1 : 2)};
      out.Assign(result, sizeof result);
      break;
    }
    case kEapCodeRequest:
    case kEapCodeResponse:
      out.Assign(packet + kEapHeaderSize, eapLength - kEapHeaderSize);
      break;
    default:
      return false;
  }
  state.innerId = identifier;
  return true;
}

void ExpandPeapV0Packet(const std::uint8_t* data, std::uint32_t length,
                        std::uint8_t outerIdentifier, PeapV0State& state, SecureByteArray& out) {
  if (state.innerSeen) {
    if (const std::uint16_t status = ResultStatus(data, length)) {
      const std::uint8_t result[kEapHeaderSize] = {
          status == 1 ? kEapCodeSuccess : kEapCodeFailure, data[1], 0, kEapHeaderSize};
      out.Assign(result, sizeof result);
      return;
    }
  }
  const std::uint32_t total = length + kEapHeaderSize;
  state.innerId = outerIdentifier;
  const std::uint8_t header[kEapHeaderSize] = {kEapCodeRequest, state.innerId,
                                               static_cast<std::uint8_t>(total >> 8),
                                               static_cast<std::uint8_t>(total)};
  out.Assign(header, sizeof header);
  out.Append(data, length);
  state.innerSeen = true;
}
