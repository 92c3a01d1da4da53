#include "ksSupp/eap/eap_ms_chap_v2.h"

#include <dcf/dcfBytes.h>
#include <dcf/dcfMD5Stream.h>
#include <dcf/dcfWipe.h>

#include <cstring>

#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap/ms_chap_failure.h"
#include "ksSupp/eap/ms_chap_password_change.h"
#include "ksSupp/eap_method_host_services.h"
#include <dcf/dcfEapHeader.h>

namespace {

// OpCodes.
constexpr std::uint8_t kChallenge = 1;
constexpr std::uint8_t kResponse = 2;
constexpr std::uint8_t kSuccess = 3;
constexpr std::uint8_t kFailure = 4;
constexpr std::uint8_t kChangePassword = 7;

// Every packet starts with OpCode, MS-CHAPv2-ID and MS-Length (which counts these 4 bytes).
constexpr std::uint32_t kMsHeaderSize = 4;
constexpr std::uint8_t kChallengeValueSize = 16;
// Response value: peer challenge, 8 reserved bytes, NT-Response, flags.
constexpr std::uint8_t kResponseValueSize = 49;
constexpr std::uint16_t kChangePasswordLength = 586;

void PutBigEndian16(std::uint8_t* field, std::uint32_t value) {
  field[0] = static_cast<std::uint8_t>(value >> 8);
  field[1] = static_cast<std::uint8_t>(value);
}

}  // namespace

EapMsChapV2::EapMsChapV2(EapMethodHostServices* host) : EapMethod(host, kEapBaseMsChapV2) {
  response_.Reserve(256);
}

EapMsChapV2::~EapMsChapV2() {
  dcfWipe(ntHash_, sizeof ntHash_);
  dcfWipe(ntResponse_, sizeof ntResponse_);
}

std::uint32_t EapMsChapV2::Initialize() {
  state_ = kWaitingForChallenge;
  finished_ = false;
  return 0;
}

std::uint32_t EapMsChapV2::VerifyCompletion() {
  if (state_ == kFailureAcknowledged) {
    return failureStatus_ != 0 ? failureStatus_ : statusBase_ | kEapInternalFailure;
  }
  return EapMethod::VerifyCompletion();
}

bool EapMsChapV2::GetKeys(std::uint8_t*) { return false; }

void EapMsChapV2::SetAuthenticationResult(bool) {}

std::uint32_t EapMsChapV2::GetEapResponse(std::uint8_t* buffer, std::uint32_t size,
                                          std::uint32_t* length) {
  return CopyResponse(response_, buffer, size, length);
}

std::uint32_t EapMsChapV2::ReceiveEapRequest(const std::uint8_t* packet, std::uint32_t length) {
  try {
    response_.Resize(0);
    const std::uint32_t status = HandleRequest(packet, length);
    if (status != 0) response_.Resize(0);
    return status;
  } catch (...) {  // allocation: methods report, never throw
    response_.Resize(0);
    return statusBase_ | kEapInternalFailure;
  }
}

std::uint32_t EapMsChapV2::HandleRequest(const std::uint8_t* packet, std::uint32_t length) {
  std::uint8_t code;
  std::uint16_t eapLength;
  const std::uint8_t* data;
  std::uint32_t dataLength;
  if (!ParseEapPacket(packet, length, code, eapIdentifier_, eapLength, eapType_, data,
                      dataLength)) {
    return statusBase_ | kEapMalformed;
  }
  // OpCode, MS-CHAPv2-ID and MS-Length, and no more than the type data.
  if (code != kEapCodeRequest || dataLength < kMsHeaderSize) return statusBase_ | kEapMalformed;
  const std::uint16_t msLength = ReadBigEndian16(data + 2);
  if (msLength > dataLength) return statusBase_ | kEapMalformed;

  switch (data[0]) {
    case kChallenge:
      return OnChallenge(data, msLength);
    case kSuccess:
      return OnSuccess(data, msLength);
    case kFailure:
      return OnFailure(data, msLength);
    default:
      return statusBase_ | kEapUnexpected;
  }
}

std::uint32_t EapMsChapV2::OnChallenge(const std::uint8_t* data, std::uint16_t msLength) {
  if (state_ != kWaitingForChallenge) return statusBase_ | kEapUnexpected;
  // Value-Size and the 16-byte challenge follow the header; the server's name may follow.
  if (msLength <= kMsHeaderSize + kChallengeValueSize) return statusBase_ | kEapMalformed;
  if (data[kMsHeaderSize] != kChallengeValueSize) return statusBase_ | kEapUnexpected;
  const std::uint8_t* hash = host_ != nullptr ? host_->GetNtPasswordHash() : nullptr;
  if (hash == nullptr) return statusBase_ | kEapNoCredential;
  const char* userName = host_->GetWindowsUserName();
  if (userName == nullptr || *userName == 0) return statusBase_ | kEapNoCredential;
  userName_.Assign(userName);
  // The Name field carries the user name as the identity has it (a domain included); the
  // computations use the Windows user name without domain.
  const char* name = host_->GetUserName();
  if (name == nullptr) name = "";
  const auto nameLength = static_cast<std::uint32_t>(std::strlen(name));
  if (nameLength > 0xFFFFu - kEapTypedHeaderSize - kMsHeaderSize - 1 - kResponseValueSize) {
    return statusBase_ | kEapInternalFailure;  // would not fit the 16-bit EAP length
  }
  const std::uint32_t responseLength = kMsHeaderSize + 1 + kResponseValueSize + nameLength;

  std::memcpy(ntHash_, hash, kNtHashSize);
  std::memcpy(authenticatorChallenge_, data + kMsHeaderSize + 1, kMsChapV2ChallengeSize);
  GetRandomBytes(peerChallenge_, sizeof peerChallenge_);
  GenerateNTResponse(authenticatorChallenge_, peerChallenge_, userName_.CStr(), ntHash_,
                     ntResponse_);
  msChapId_ = data[1];

  std::uint8_t* out = StartResponse(static_cast<std::uint16_t>(responseLength));
  out[0] = kResponse;
  out[1] = msChapId_;
  PutBigEndian16(out + 2, responseLength);
  out[4] = kResponseValueSize;
  std::uint8_t* value = out + kMsHeaderSize + 1;
  std::memcpy(value, peerChallenge_, 16);
  // value + 16: 8 reserved zero bytes (StartResponse zero-fills).
  std::memcpy(value + 24, ntResponse_, kMsChapResponseSize);
  // value + 48: flags, zero.
  std::memcpy(value + kResponseValueSize, name, nameLength);
  state_ = kResponseSent;
  return 0;
}

std::uint32_t EapMsChapV2::OnSuccess(const std::uint8_t* data, std::uint16_t msLength) {
  if ((state_ != kResponseSent && state_ != kChangePasswordSent) ||
      msLength < kMsHeaderSize + kAuthenticatorResponseSize) {
    return statusBase_ | kEapUnexpected;
  }
  std::uint8_t hashHash[kNtHashSize];
  PasswordHashHash(ntHash_, hashHash);
  const bool verified =
      CheckAuthenticatorResponse(hashHash, ntResponse_, peerChallenge_, authenticatorChallenge_,
                                 userName_.CStr(), data + kMsHeaderSize);
  dcfWipe(hashHash, sizeof hashHash);
  if (!verified) return statusBase_ | kEapProofFailed;
  Acknowledge(kSuccess);
  finished_ = true;
  state_ = kSuccessAcknowledged;
  return 0;
}

std::uint32_t EapMsChapV2::OnFailure(const std::uint8_t* data, std::uint16_t msLength) {
  if (state_ != kResponseSent && state_ != kChangePasswordSent) {
    return statusBase_ | kEapUnexpected;
  }
  MsChapFailure failure;
  if (msLength < kMsHeaderSize ||
      !ParseMsChapFailure(reinterpret_cast<const char*>(data + kMsHeaderSize),
                          msLength - kMsHeaderSize, failure)) {
    return statusBase_ | kEapMalformed;
  }
  const std::uint32_t status = statusBase_ | MsChapFailureStatusClass(failure.error);
  if (failure.error == kMsChapErrorPasswordExpired && state_ == kResponseSent) {
    if (failure.version != 3) return statusBase_ | kEapUnexpected;
    return ChangePassword(failure, data[1]);
  }
  // No retry with another password: a Failure that allows one ends the exchange here.
  if (failure.retry != 0) return status;
  Acknowledge(kFailure);
  failureStatus_ = status;
  state_ = kFailureAcknowledged;
  return 0;
}

std::uint32_t EapMsChapV2::ChangePassword(const MsChapFailure& failure, std::uint8_t failureId) {
  if (failure.challengeLength != kMsChapV2ChallengeSize) return statusBase_ | kEapUnexpected;
  WipedString oldPassword;
  WipedString newPassword;
  if (!host_->CredentialPrompt(failure.message.CStr(), oldPassword, newPassword)) {
    return statusBase_ | kEapPasswordChangeFailed;
  }
  MsChapPasswordChange change;
  if (!change.Compute(oldPassword.CStr(), newPassword.CStr(), failure.challenge,
                      userName_.CStr())) {
    return statusBase_ | kEapPasswordChangeFailed;
  }
  // The server's next Success is checked against what this packet carries.
  std::memcpy(ntHash_, change.newHash, kNtHashSize);
  std::memcpy(authenticatorChallenge_, failure.challenge, kMsChapV2ChallengeSize);
  std::memcpy(peerChallenge_, change.peerChallenge, kMsChapV2ChallengeSize);
  std::memcpy(ntResponse_, change.ntResponse, kMsChapResponseSize);

  std::uint8_t* out = StartResponse(kChangePasswordLength);
  out[0] = kChangePassword;
  out[1] = failureId == msChapId_ ? static_cast<std::uint8_t>(failureId + 1) : failureId;
  PutBigEndian16(out + 2, kChangePasswordLength);
  std::uint8_t* field = out + kMsHeaderSize;
  std::memcpy(field, change.encryptedPassword, kEncryptedPasswordSize);
  field += kEncryptedPasswordSize;
  std::memcpy(field, change.encryptedHash, kEncryptedHashSize);
  field += kEncryptedHashSize;
  std::memcpy(field, peerChallenge_, kMsChapV2ChallengeSize);
  field += kMsChapV2ChallengeSize + 8;  // 8 reserved zero bytes
  std::memcpy(field, ntResponse_, kMsChapResponseSize);
  // 2 bytes of flags, zero.
  state_ = kChangePasswordSent;
  return 0;
}

std::uint8_t* EapMsChapV2::StartResponse(std::uint16_t dataLength) {
  const auto total = static_cast<std::uint16_t>(kEapTypedHeaderSize + dataLength);
  response_.Resize(0);
  response_.Resize(total);  // zero-filled
  WriteEapResponseHeader(response_.Data(), eapIdentifier_, eapType_, total);
  return response_.Data() + kEapTypedHeaderSize;
}

void EapMsChapV2::Acknowledge(std::uint8_t opCode) { StartResponse(1)[0] = opCode; }
