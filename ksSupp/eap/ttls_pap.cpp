#include <dcf/dcfWipe.h>

#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap/ttls_avp.h"
#include "ksSupp/eap/ttls_inner_protocol.h"
#include "ksSupp/eap_method_host_services.h"

namespace {

constexpr std::uint32_t kPromptValueSize = 4;

void AppendCredentials(AvpWriter& writer, const char* userName, const std::uint8_t* secret,
                       std::uint32_t secretLength) {
  writer.AppendText(kAvpUserName, userName);
  writer.Append(kAvpUserPassword, 0, true, secret, secretLength);
}

}  // namespace

TtlsPap::TtlsPap(EapMethodHostServices* host, bool withToken)
    : TtlsInnerProtocol(host, kEapBaseTtlsPap), withToken_(withToken) {}

std::uint32_t TtlsPap::Process(const std::uint8_t* avps, std::uint32_t length,
                               std::uint8_t* handled, std::uint32_t handledCount,
                               AvpWriter& writer) {
  if (host_ == nullptr) return statusBase_ | kEapNoCredential;
  if (calls_++ == 0) {
    SecureByteArray secret;
    if (withToken_) {
      if (!host_->GetToken(secret)) return statusBase_ | kEapNoCredential;
    } else {
      const char* password = host_->GetPassword();
      if (password == nullptr) return statusBase_ | kEapNoCredential;
      secret.AppendString(password);
    }
    AppendCredentials(writer, host_->GetUserName(), secret.Data(), secret.Length());
    finished_ = true;
    return 0;
  }
  if (length == 0) return 0;

  // A later round: the server's Reply-Message is a challenge the user answers.
  AvpReader reader(avps, length);
  Avp avp;
  const std::uint8_t* text = nullptr;
  std::uint32_t textLength = 0;
  bool found = false;
  while (reader.Next(avp)) {
    if (avp.Is(kAvpReplyMessage, 0)) {
      text = avp.data;
      textLength = avp.dataLength;
      found = true;
    } else if (withToken_ && avp.Is(kAvpPrompt, 0)) {
      if (reader.index() < handledCount) handled[reader.index()] = 1;
      if (avp.dataLength < kPromptValueSize) return 0;
      continue;
    } else {
      continue;
    }
    if (reader.index() < handledCount) handled[reader.index()] = 1;
  }
  if (reader.malformed()) return statusBase_ | kEapMalformed;
  if (!found) return 0;
  SecureByteArray answer;
  if (!host_->AnswerChallenge(reinterpret_cast<const char*>(text), textLength, answer)) {
    return statusBase_ | kEapNoCredential;
  }
  AppendCredentials(writer, host_->GetUserName(), answer.Data(), answer.Length());
  return 0;
}
