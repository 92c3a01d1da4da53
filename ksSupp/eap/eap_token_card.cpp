#include "ksSupp/eap/eap_token_card.h"

#include <collections/dcfByteArray.h>

#include <cstring>

#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap_method_host_services.h"
#include <dcf/dcfEapHeader.h>

EapTokenCard::EapTokenCard(EapMethodHostServices* host, bool promptOnly)
    : OneRoundEapMethod(host, kEapBaseTokenCard), promptOnly_(promptOnly) {}

std::uint32_t EapTokenCard::Answer(const Request& request) {
  if (host_ == nullptr) return statusBase_ | kEapNoCredential;
  SecureByteArray answer;
  if (!promptOnly_ && host_->HasIdentityPassword()) {
    const char* password = host_->GetPassword();
    if (password == nullptr) return statusBase_ | kEapNoCredential;
    answer.AppendString(password);
  } else if (!host_->AnswerChallenge(reinterpret_cast<const char*>(request.data),
                                     request.dataLength, answer)) {
    return statusBase_ | kEapNoCredential;
  }
  promptOnly_ = true;
  // The answer must fit the 16-bit EAP length.
  if (answer.Length() > 0xFFFFu - kEapTypedHeaderSize) return statusBase_ | kEapInternalFailure;

  std::uint8_t* out = StartResponse(request, static_cast<std::uint16_t>(answer.Length()));
  if (!answer.Empty()) std::memcpy(out, answer.Data(), answer.Length());
  finished_ = true;
  return 0;
}
