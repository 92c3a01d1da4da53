#include "ksSupp/eap/one_round_eap_method.h"

#include "ksSupp/eap/eap_status.h"
#include <dcf/dcfEapHeader.h>

OneRoundEapMethod::OneRoundEapMethod(EapMethodHostServices* host, std::uint32_t statusBase)
    : EapMethod(host, statusBase) {
  response_.Reserve(256);
}

bool OneRoundEapMethod::GetKeys(std::uint8_t*) { return false; }

void OneRoundEapMethod::SetAuthenticationResult(bool) {}

std::uint32_t OneRoundEapMethod::ReceiveEapRequest(const std::uint8_t* packet,
                                                   std::uint32_t length) {
  try {
    response_.Resize(0);
    std::uint8_t code;
    std::uint16_t eapLength;
    Request request;
    if (!ParseEapPacket(packet, length, code, request.identifier, eapLength, request.type,
                        request.data, request.dataLength)) {
      return statusBase_ | kEapMalformed;
    }
    if (code != kEapCodeRequest) return statusBase_ | kEapUnexpected;
    const std::uint32_t status = Answer(request);
    if (status != 0) response_.Resize(0);
    return status;
  } catch (...) {  // allocation: methods report, never throw
    response_.Resize(0);
    return statusBase_ | kEapInternalFailure;
  }
}

std::uint32_t OneRoundEapMethod::GetEapResponse(std::uint8_t* buffer, std::uint32_t size,
                                                std::uint32_t* length) {
  return CopyResponse(response_, buffer, size, length);
}

std::uint8_t* OneRoundEapMethod::StartResponse(const Request& request, std::uint16_t dataLength) {
  const auto total = static_cast<std::uint16_t>(kEapTypedHeaderSize + dataLength);
  response_.Resize(total);
  WriteEapResponseHeader(response_.Data(), request.identifier, request.type, total);
  return response_.Data() + kEapTypedHeaderSize;
}
