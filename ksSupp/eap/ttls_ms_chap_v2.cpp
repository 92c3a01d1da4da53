#include "ksSupp/eap/ttls_ms_chap_v2.h"

#include <dcf/dcfMD5Stream.h>
#include <dcf/dcfWipe.h>

#include <cstring>

#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap/ms_chap_failure.h"
#include "ksSupp/eap/ms_chap_password_change.h"
#include "ksSupp/eap/ttls_avp.h"
#include "ksSupp/eap_method_host_services.h"

namespace {

constexpr std::uint32_t kChallengeBytes = 16;  // then the identifier
constexpr std::uint32_t kResponseLength = 50;  // identifier, flags, peer challenge, 8 reserved, NT
constexpr std::uint32_t kSuccessLength = 1 + kAuthenticatorResponseSize;
constexpr std::uint8_t kNtEncPwCode = 6;
constexpr std::uint8_t kCpwCode = 7;
constexpr std::uint32_t kNtEncPwLength = 4 + kEncryptedPasswordSize;  // 520
constexpr std::uint32_t kCpwLength = 68;
constexpr std::uint32_t kRequiredMsChapVersion = 3;

void MarkHandled(std::uint8_t* handled, std::uint32_t count, std::uint32_t index) {
  if (index < count) handled[index] = 1;
}

}  // namespace

TtlsMsChapV2::TtlsMsChapV2(EapMethodHostServices* host)
    : TtlsInnerProtocol(host, kEapBaseTtlsMsChapV2) {}

TtlsMsChapV2::~TtlsMsChapV2() {
  dcfWipe(ntHash_, sizeof ntHash_);
  dcfWipe(ntResponse_, sizeof ntResponse_);
}

std::uint32_t TtlsMsChapV2::Process(const std::uint8_t* avps, std::uint32_t length,
                                    std::uint8_t* handled, std::uint32_t handledCount,
                                    AvpWriter& writer) {
  if (state_ == kInitial) return SendResponse(writer);
  if (state_ == kDone) return 0;

  AvpReader reader(avps, length);
  Avp avp;
  const std::uint8_t* success = nullptr;
  std::uint32_t successLength = 0;
  const std::uint8_t* error = nullptr;
  std::uint32_t errorLength = 0;
  bool sawSuccess = false;
  bool sawError = false;
  while (reader.Next(avp)) {
    if (avp.vendor != kAvpVendorMicrosoft) continue;
    if (avp.code == kAvpMsChap2Success) {
      sawSuccess = true;
      success = avp.data;
      successLength = avp.dataLength;
    } else if (avp.code == kAvpMsChapError) {
      sawError = true;
      error = avp.data;
      errorLength = avp.dataLength;
    } else if (avp.code != kAvpMsChapDomain) {
      continue;
    }
    MarkHandled(handled, handledCount, reader.index());
  }
  if (reader.malformed()) return statusBase_ | kEapMalformed;
  if (sawSuccess) return OnSuccess(success, successLength);
  if (sawError) return OnError(error, errorLength, writer);
  return statusBase_ | kEapUnexpected;
}

std::uint32_t TtlsMsChapV2::SendResponse(AvpWriter& writer) {
  if (challenge_.Length() <= kChallengeBytes) return statusBase_ | kEapInternalFailure;
  const std::uint8_t* ntHash = host_ != nullptr ? host_->GetNtPasswordHash() : nullptr;
  const char* windowsName = host_ != nullptr ? host_->GetWindowsUserName() : "";
  if (ntHash == nullptr || *windowsName == '\0') return statusBase_ | kEapNoCredential;
  windowsUserName_.Assign(reinterpret_cast<const std::uint8_t*>(windowsName),
                          static_cast<std::uint32_t>(std::strlen(windowsName) + 1));

  std::memcpy(ntHash_, ntHash, kNtHashSize);
  std::memcpy(authenticatorChallenge_, challenge_.Data(), kChallengeBytes);
  identifier_ = challenge_[kChallengeBytes];
  GetRandomBytes(peerChallenge_, sizeof peerChallenge_);
  GenerateNTResponse(authenticatorChallenge_, peerChallenge_, windowsName, ntHash_, ntResponse_);

  std::uint8_t response[kResponseLength] = {};
  response[0] = identifier_;
  std::memcpy(response + 2, peerChallenge_, kMsChapV2ChallengeSize);
  std::memcpy(response + 2 + kMsChapV2ChallengeSize + 8, ntResponse_, kMsChapResponseSize);
  writer.AppendText(kAvpUserName, host_->GetUserName());
  writer.Append(kAvpMsChapChallenge, kAvpVendorMicrosoft, true, authenticatorChallenge_,
                kChallengeBytes);
  writer.Append(kAvpMsChap2Response, kAvpVendorMicrosoft, true, response, sizeof response);
  state_ = kResponseSent;
  return 0;
}

std::uint32_t TtlsMsChapV2::OnSuccess(const std::uint8_t* data, std::uint32_t length) {
  if (length < kSuccessLength) return statusBase_ | kEapMalformed;
  std::uint8_t hashHash[kNtHashSize];
  PasswordHashHash(ntHash_, hashHash);
  const bool proved =
      data[0] == identifier_ &&
      CheckAuthenticatorResponse(hashHash, ntResponse_, peerChallenge_, authenticatorChallenge_,
                                 reinterpret_cast<const char*>(windowsUserName_.Data()), data + 1);
  dcfWipe(hashHash, sizeof hashHash);
  if (!proved) return statusBase_ | kEapProofFailed;
  finished_ = true;
  state_ = kDone;
  return 0;
}

std::uint32_t TtlsMsChapV2::OnError(const std::uint8_t* data, std::uint32_t length,
                                    AvpWriter& writer) {
  if (length == 0) return statusBase_ | kEapMalformed;
  MsChapFailure failure;
  if (!ParseMsChapFailure(reinterpret_cast<const char*>(data + 1), length - 1, failure)) {
    return statusBase_ | kEapMalformed;
  }
  if (failure.error == kMsChapErrorPasswordExpired) {
    if (failure.version != kRequiredMsChapVersion) return statusBase_ | kEapUnexpected;
    if (failure.retry == 0) return statusBase_ | kEapRejected;
    return ChangePassword(failure, data[0], writer);
  }
  return statusBase_ | MsChapFailureStatusClass(failure.error);
}

std::uint32_t TtlsMsChapV2::ChangePassword(const MsChapFailure& failure, std::uint8_t identifier,
                                           AvpWriter& writer) {
  if (passwordChanged_) return statusBase_ | kEapUnexpected;
  passwordChanged_ = true;
  if (failure.challengeLength != kMsChapV2ChallengeSize) return statusBase_ | kEapUnexpected;
  WipedString oldPassword;
  WipedString newPassword;
  if (!host_->CredentialPrompt(failure.message.CStr(), oldPassword, newPassword)) {
    return statusBase_ | kEapPasswordChangeFailed;
  }
  const char* windowsName = reinterpret_cast<const char*>(windowsUserName_.Data());
  MsChapPasswordChange change;
  if (!change.Compute(oldPassword.CStr(), newPassword.CStr(), failure.challenge, windowsName)) {
    return statusBase_ | kEapPasswordChangeFailed;
  }
  // The server's next Success is checked against what these AVPs carry.
  std::memcpy(ntHash_, change.newHash, kNtHashSize);
  std::memcpy(authenticatorChallenge_, failure.challenge, kMsChapV2ChallengeSize);
  std::memcpy(peerChallenge_, change.peerChallenge, kMsChapV2ChallengeSize);
  std::memcpy(ntResponse_, change.ntResponse, kMsChapResponseSize);
  identifier_ = identifier;

  SecureByteArray encrypted;
  encrypted.Resize(kNtEncPwLength);
  encrypted[0] = kNtEncPwCode;
  encrypted[1] = identifier;
  std::memcpy(encrypted.Data() + 4, change.encryptedPassword, kEncryptedPasswordSize);
  std::uint8_t cpw[kCpwLength] = {};
  cpw[0] = kCpwCode;
  cpw[1] = identifier;
  std::memcpy(cpw + 2, change.encryptedHash, kEncryptedHashSize);
  std::memcpy(cpw + 18, peerChallenge_, kMsChapV2ChallengeSize);
  std::memcpy(cpw + 42, ntResponse_, kMsChapResponseSize);  // after 8 reserved bytes
  writer.Append(kAvpMsChapNtEncPw, kAvpVendorMicrosoft, true, encrypted.Data(), kNtEncPwLength);
  writer.Append(kAvpMsChap2Cpw, kAvpVendorMicrosoft, true, cpw, kCpwLength);
  writer.Append(kAvpMsChapChallenge, kAvpVendorMicrosoft, true, authenticatorChallenge_,
                kMsChapV2ChallengeSize);
  dcfWipe(cpw, sizeof cpw);
  return 0;
}
