#include "ksSupp/eap/peap_inner_method.h"

#include <dcf/dcfEapHeader.h>

#include <cstring>

#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap_method_host.h"
#include "ksSupp/eap_method_host_services.h"

namespace {

constexpr std::uint32_t kResponseBufferSize = 4096;

}  // namespace

PeapInnerSession::PeapInnerSession(EapMethodHost* host)
    : host_(host), runner_(host) {}

std::uint32_t PeapInnerSession::Process(const std::uint8_t* packet, std::uint32_t length) {
  response_.Clear();
  std::uint8_t code = 0;
  std::uint8_t identifier = 0;
  std::uint16_t eapLength = 0;
  if (!ParseEapHeader(packet, length, code, identifier, eapLength)) {
    return runner_.Fail(kEapSessionMalformed);
  }
  if (code != kEapCodeRequest) return runner_.Fail(kEapSessionUnexpected);
  if (eapLength > kEapHeaderSize && packet[kEapHeaderSize] == kEapTypeIdentity) {
    // The real user name: the outer Identity may have been an anonymous one.
    const char* name = host_ != nullptr ? host_->Services()->GetUserName() : "";
    const std::size_t nameLength = std::strlen(name);
    if (nameLength > 0xFFFF - kEapTypedHeaderSize) return runner_.Fail(kEapInternalFailure);
    const auto total = static_cast<std::uint16_t>(kEapTypedHeaderSize + nameLength);
    response_.Resize(total);
    WriteEapResponseHeader(response_.Data(), identifier, kEapTypeIdentity, total);
    std::memcpy(response_.Data() + kEapTypedHeaderSize, name, nameLength);
    return 0;
  }
  response_.Resize(kResponseBufferSize);
  std::uint32_t produced = 0;
  const std::uint32_t result =
      runner_.ProcessRequest(packet, length, response_.Data(), kResponseBufferSize, &produced);
  if (result != 0) {
    response_.Clear();
    return result;
  }
  response_.Resize(produced);
  return 0;
}

std::uint32_t PeapResumedSession::VerifyCompletion() { return kEapComplete; }

std::uint32_t PeapResumedSession::Process(const std::uint8_t*, std::uint32_t) {
  return kEapUnexpected;
}
