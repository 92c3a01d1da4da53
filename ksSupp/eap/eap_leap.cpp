#include "ksSupp/eap/eap_leap.h"

#include <dcf/dcfMD5Stream.h>
#include <dcf/dcfWipe.h>
#include <dcf/md5.h>
#include <openssl/crypto.h>

#include <cstring>

#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap_method_host_services.h"
#include <dcf/dcfEapHeader.h>

namespace {

// LEAP data: Version 1, a reserved byte, Count, then Count bytes of challenge or response
// and the user name.
constexpr std::uint8_t kLeapVersion = 1;
constexpr std::uint32_t kLeapHeaderSize = 3;

// The challenge or response of a well-formed LEAP packet; `count` checked by the caller.
struct LeapData {
  std::uint8_t version;
  std::uint8_t count;
  const std::uint8_t* value;
};

// 0 with the fields, or the status for data too short for its header or its Count.
std::uint32_t ReadLeapData(const std::uint8_t* data, std::uint32_t dataLength, LeapData& out) {
  if (dataLength < kLeapHeaderSize) return kEapMalformed;
  out.version = data[0];
  out.count = data[2];
  out.value = data + kLeapHeaderSize;
  if (out.version != kLeapVersion) return kEapUnexpected;
  if (dataLength < kLeapHeaderSize + out.count) return kEapMalformed;
  return 0;
}

}  // namespace

EapLeap::EapLeap(EapMethodHostServices* host) : EapMethod(host, kEapBaseLeap) {
  response_.Reserve(256);
}

EapLeap::~EapLeap() { dcfWipe(&keys_, sizeof keys_); }

std::uint32_t EapLeap::Initialize() {
  finished_ = false;
  state_ = kWaitingForChallenge;
  return 0;
}

bool EapLeap::GetKeys(std::uint8_t keys[kEapKeyBlockSize]) {
  if (!finished_ || keys == nullptr) return false;
  Md5Digest(keys, &keys_, sizeof keys_);
  return true;
}

void EapLeap::SetAuthenticationResult(bool) {}

std::uint32_t EapLeap::GetEapResponse(std::uint8_t* buffer, std::uint32_t size,
                                      std::uint32_t* length) {
  return CopyResponse(response_, buffer, size, length);
}

std::uint32_t EapLeap::ReceiveEapRequest(const std::uint8_t* packet, std::uint32_t length) {
  std::uint32_t status;
  try {
    response_.Resize(0);
    status = HandlePacket(packet, length);
  } catch (...) {  // allocation: methods report, never throw
    status = kEapInternalFailure;
  }
  if (status == 0) return 0;
  response_.Resize(0);
  state_ = kDone;
  return WithBase(status);
}

std::uint32_t EapLeap::HandlePacket(const std::uint8_t* bytes, std::uint32_t length) {
  if (state_ != kWaitingForChallenge && state_ != kResponseSent && state_ != kChallengeSent) {
    return kEapUnexpected;
  }
  Packet packet;
  std::uint16_t eapLength;
  if (!ParseEapPacket(bytes, length, packet.code, packet.identifier, eapLength, packet.type,
                      packet.data, packet.dataLength)) {
    return kEapMalformed;
  }
  if (state_ == kWaitingForChallenge) return OnServerChallenge(packet);
  if (state_ == kResponseSent) return OnServerVerdict(packet);
  return OnServerResponse(packet);
}

std::uint32_t EapLeap::OnServerChallenge(const Packet& packet) {
  if (packet.code != kEapCodeRequest) return kEapUnexpected;
  LeapData leap;
  if (const std::uint32_t status = ReadLeapData(packet.data, packet.dataLength, leap);
      status != 0) {
    return status;
  }
  if (leap.count != kMsChapChallengeSize) return kEapUnexpected;
  eapType_ = packet.type;
  std::memcpy(keys_.serverChallenge, leap.value, kMsChapChallengeSize);
  const std::uint8_t* hash = host_ != nullptr ? host_->GetNtPasswordHash() : nullptr;
  if (hash == nullptr) return kEapNoCredential;
  ChallengeResponse(keys_.serverChallenge, hash, keys_.ourResponse);
  if (const std::uint32_t status =
          SetPending(kEapCodeResponse, packet.identifier, keys_.ourResponse, kMsChapResponseSize);
      status != 0) {
    return status;
  }
  state_ = kResponseSent;
  return 0;
}

std::uint32_t EapLeap::OnServerVerdict(const Packet& packet) {
  if (packet.code == kEapCodeFailure) return kEapRejected;
  if (packet.code != kEapCodeSuccess) return kEapUnexpected;
  // Now the server proves that it knows the password too.
  GetRandomBytes(keys_.ourChallenge, kMsChapChallengeSize);
  if (const std::uint32_t status =
          SetPending(kEapCodeRequest, packet.identifier, keys_.ourChallenge, kMsChapChallengeSize);
      status != 0) {
    return status;
  }
  successIdentifier_ = packet.identifier;
  state_ = kChallengeSent;
  return 0;
}

std::uint32_t EapLeap::OnServerResponse(const Packet& packet) {
  if (packet.code != kEapCodeResponse) return kEapUnexpected;
  // A Response of another type is no LEAP packet: its bytes say nothing about the server,
  // so they are not read as LEAP fields.
  if (packet.type != eapType_) return 0;
  LeapData leap;
  if (const std::uint32_t status = ReadLeapData(packet.data, packet.dataLength, leap);
      status != 0) {
    return status;
  }
  if (leap.count != kMsChapResponseSize) return kEapUnexpected;
  const std::uint8_t* hash = host_ != nullptr ? host_->GetNtPasswordHash() : nullptr;
  if (hash == nullptr) return kEapNoCredential;
  PasswordHashHash(hash, keys_.hashHash);
  ChallengeResponse(keys_.ourChallenge, keys_.hashHash, keys_.serverResponse);
  if (CRYPTO_memcmp(keys_.serverResponse, leap.value, kMsChapResponseSize) != 0) {
    return kEapProofFailed;
  }
  state_ = kDone;
  finished_ = true;
  host_->NotifyMethodSucceeded(0);
  return 0;
}

std::uint32_t EapLeap::SetPending(std::uint8_t code, std::uint8_t identifier,
                                  const std::uint8_t* value, std::uint8_t count) {
  const char* userName = host_ != nullptr ? host_->GetUserName() : nullptr;
  if (userName == nullptr) userName = "";
  const std::size_t nameLength = std::strlen(userName);
  const std::size_t total = kEapTypedHeaderSize + kLeapHeaderSize + count + nameLength;
  if (total > 0xFFFF) return kEapInternalFailure;

  response_.Resize(static_cast<std::uint32_t>(total));
  std::uint8_t* out = response_.Data();
  WriteEapResponseHeader(out, identifier, eapType_, static_cast<std::uint16_t>(total));
  out[0] = code;  // our challenge goes out as a Request
  out[5] = kLeapVersion;
  out[6] = 0;
  out[7] = count;
  std::memcpy(out + kEapTypedHeaderSize + kLeapHeaderSize, value, count);
  std::memcpy(out + kEapTypedHeaderSize + kLeapHeaderSize + count, userName, nameLength);
  return 0;
}
