#include "ksSupp/eap/ttls_inner_protocol.h"

#include <dcf/dcfWipe.h>

#include "ksSupp/eap/chap_response.h"
#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap/ms_chap.h"
#include "ksSupp/eap/ttls_avp.h"
#include "ksSupp/eap/ttls_ms_chap_v2.h"
#include "ksSupp/eap_method_host.h"
#include "ksSupp/eap_method_host_services.h"

namespace {

enum Selector : std::uint32_t {
  kPap = 1,
  kChap = 2,
  kMsChap = 3,
  kMsChapV2 = 4,
  kEap = 6,
  kPapWithToken = 7,
};

constexpr std::uint8_t kMsChapUseNtResponse = 1;
constexpr std::uint32_t kMsChapResponseLength = 50;  // identifier, flags, LM and NT responses

}  // namespace

std::uint32_t TtlsInnerProtocol::GetStatus() {
  return finished_ ? 0 : statusBase_ | kEapInProgress;
}

std::uint32_t TtlsInnerProtocol::VerifyCompletion() {
  return finished_ ? kEapComplete : statusBase_ | kEapInProgress;
}

std::uint32_t TtlsInnerProtocol::Process(const std::uint8_t*, std::uint32_t, std::uint8_t*,
                                         std::uint32_t, AvpWriter&) {
  return 0;
}

std::unique_ptr<TtlsInnerProtocol> CreateTtlsInnerProtocol(std::uint32_t selector,
                                                           EapMethodHost* host) {
  EapMethodHostServices* services = host != nullptr ? host->Services() : nullptr;
  switch (selector) {
    case kPap:
      return std::make_unique<TtlsPap>(services);
    case kChap:
      return std::make_unique<TtlsChap>(services);
    case kMsChap:
      return std::make_unique<TtlsMsChap>(services);
    case kMsChapV2:
      return std::make_unique<TtlsMsChapV2>(services);
    case kEap:
      return std::make_unique<TtlsInnerEap>(host);
    case kPapWithToken:
      return std::make_unique<TtlsTokenPap>(services);
    default:
      return nullptr;
  }
}

ResumedSessionMethod::ResumedSessionMethod() : TtlsInnerProtocol(nullptr, kEapBaseResumed) {
  finished_ = true;
}

TtlsChap::TtlsChap(EapMethodHostServices* host) : TtlsInnerProtocol(host, kEapBaseTtlsChap) {}

std::uint32_t TtlsChap::Process(const std::uint8_t*, std::uint32_t, std::uint8_t*, std::uint32_t,
                                AvpWriter& writer) {
  if (calls_++ > 0) return 0;
  constexpr std::uint32_t kChallenge = 16;
  if (challenge_.Length() <= kChallenge) return statusBase_ | kEapInternalFailure;
  const char* password = host_ != nullptr ? host_->GetPassword() : nullptr;
  if (password == nullptr) return statusBase_ | kEapNoCredential;
  std::uint8_t chapPassword[1 + kMd5DigestSize];
  chapPassword[0] = challenge_[kChallenge];
  ChapResponse(chapPassword[0], password, challenge_.Data(), kChallenge, chapPassword + 1);
  writer.AppendText(kAvpUserName, host_->GetUserName());
  writer.Append(kAvpChapChallenge, 0, true, challenge_.Data(), kChallenge);
  writer.Append(kAvpChapPassword, 0, true, chapPassword, sizeof chapPassword);
  dcfWipe(chapPassword, sizeof chapPassword);
  finished_ = true;
  return 0;
}

TtlsMsChap::TtlsMsChap(EapMethodHostServices* host)
    : TtlsInnerProtocol(host, kEapBaseTtlsMsChap) {}

std::uint32_t TtlsMsChap::Process(const std::uint8_t*, std::uint32_t, std::uint8_t*,
                                  std::uint32_t, AvpWriter& writer) {
  if (calls_++ > 0) return 0;
  if (challenge_.Length() <= kMsChapChallengeSize) return statusBase_ | kEapInternalFailure;
  const std::uint8_t* ntHash = host_ != nullptr ? host_->GetNtPasswordHash() : nullptr;
  if (ntHash == nullptr) return statusBase_ | kEapNoCredential;
  // The LM response stays zero: the flags tell the server to use the NT response, and the
  // LM response would hand an eavesdropper on the server side an easily cracked hash.
  std::uint8_t response[kMsChapResponseLength] = {};
  response[0] = challenge_[kMsChapChallengeSize];
  response[1] = kMsChapUseNtResponse;
  ChallengeResponse(challenge_.Data(), ntHash, response + 2 + kMsChapResponseSize);
  writer.AppendText(kAvpUserName, host_->GetUserName());
  writer.Append(kAvpMsChapChallenge, kAvpVendorMicrosoft, true, challenge_.Data(),
                kMsChapChallengeSize);
  writer.Append(kAvpMsChapResponse, kAvpVendorMicrosoft, true, response, sizeof response);
  dcfWipe(response, sizeof response);
  finished_ = true;
  return 0;
}
