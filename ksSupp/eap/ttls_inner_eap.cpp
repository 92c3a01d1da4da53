#include <dcf/dcfEapHeader.h>

#include <cstring>

#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap/ttls_avp.h"
#include "ksSupp/eap/ttls_inner_protocol.h"
#include "ksSupp/eap_method_host.h"
#include "ksSupp/eap_method_host_services.h"

namespace {

constexpr std::uint32_t kResponseBufferSize = 4096;
constexpr std::uint32_t kPromptValueSize = 4;

}  // namespace

TtlsInnerEap::TtlsInnerEap(EapMethodHost* host)
    : TtlsInnerProtocol(host != nullptr ? host->Services() : nullptr, kEapBaseTtls),
      runner_(host) {}

std::uint32_t TtlsInnerEap::Process(const std::uint8_t* avps, std::uint32_t length,
                                    std::uint8_t* handled, std::uint32_t handledCount,
                                    AvpWriter& writer) {
  if (calls_++ == 0) {
    // The inner conversation opens with our Identity, unasked (RFC 5281 section 11.2.1).
    const char* name = host_ != nullptr ? host_->GetUserName() : "";
    const std::size_t nameLength = std::strlen(name);
    if (nameLength > 0xFFFF - kEapTypedHeaderSize) return statusBase_ | kEapInternalFailure;
    const auto total = static_cast<std::uint16_t>(kEapTypedHeaderSize + nameLength);
    SecureByteArray identity;
    identity.Resize(total);
    WriteEapResponseHeader(identity.Data(), 0, kEapTypeIdentity, total);
    std::memcpy(identity.Data() + kEapTypedHeaderSize, name, nameLength);
    writer.Append(kAvpEapMessage, 0, true, identity.Data(), total);
    return 0;
  }

  AvpReader reader(avps, length);
  Avp avp;
  const std::uint8_t* message = nullptr;
  std::uint32_t messageLength = 0;
  while (reader.Next(avp)) {
    if (avp.Is(kAvpPrompt, 0)) {
      if (avp.dataLength != kPromptValueSize) return statusBase_ | kEapMalformed;
    } else if (avp.Is(kAvpEapMessage, 0)) {
      // Several are not joined: the last one counts.
      message = avp.data;
      messageLength = avp.dataLength;
    } else {
      continue;
    }
    if (reader.index() < handledCount) handled[reader.index()] = 1;
  }
  if (reader.malformed()) return statusBase_ | kEapMalformed;

  if (message != nullptr) {
    std::uint8_t code = 0;
    std::uint8_t identifier = 0;
    std::uint16_t eapLength = 0;
    if (!ParseEapHeader(message, messageLength, code, identifier, eapLength)) {
      return runner_.Fail(kEapSessionMalformed);
    }
    if (code == kEapCodeFailure) return runner_.Fail(kEapSessionFailureInTunnel);
    if (code == kEapCodeSuccess) return runner_.VerifyCompletion();
  }
  response_.Resize(kResponseBufferSize);
  std::uint32_t produced = 0;
  const std::uint32_t result = runner_.ProcessRequest(message, messageLength, response_.Data(),
                                                      kResponseBufferSize, &produced);
  if (result != 0) return result;
  if (produced > 0) writer.Append(kAvpEapMessage, 0, true, response_.Data(), produced);
  response_.Resize(0);
  return 0;
}
