#include "ksSupp/eap/eap_md5_challenge.h"

#include "ksSupp/eap/chap_response.h"

#include <dcf/md5.h>

#include <cstring>

#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap_method_host_services.h"

namespace {
constexpr std::uint8_t kValueSize = 16;
}  // namespace

EapMd5Challenge::EapMd5Challenge(EapMethodHostServices* host)
    : OneRoundEapMethod(host, kEapBaseMd5Challenge) {}

std::uint32_t EapMd5Challenge::Initialize() {
  finished_ = false;
  return 0;
}

std::uint32_t EapMd5Challenge::Answer(const Request& request) {
  // Value-Size, then the challenge value (a Name after it is ignored).
  if (request.dataLength < 1 || request.dataLength < 1u + request.data[0]) {
    return statusBase_ | kEapMalformed;
  }
  const char* password = host_ != nullptr ? host_->GetPassword() : nullptr;
  if (password == nullptr) return statusBase_ | kEapNoCredential;

  std::uint8_t* value = StartResponse(request, 1 + kValueSize);
  value[0] = kValueSize;
  ChapResponse(request.identifier, password, request.data + 1, request.data[0], value + 1);
  finished_ = true;
  return 0;
}
