#include "ksSupp/eap/eap_session.h"

#include <dcf/dcfBytes.h>

#include <cstring>

#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap_method_host.h"
#include <dcf/dcfEapHeader.h>
#include "ksSupp/eap_type_list.h"
#include "ksSupp/trace.h"

namespace {

constexpr std::uint32_t kNotificationResponseLength = kEapTypedHeaderSize;  // no data
constexpr std::uint32_t kNakLength = kEapTypedHeaderSize + 1;

}  // namespace

EapSession::EapSession(const EapTypeList* allowedTypes, EapMethodHost* host)
    : allowedTypes_(allowedTypes), host_(host) {}

EapSession::~EapSession() = default;

EapMethod* EapSession::CreateMethod(std::uint32_t type) { return createEapMethod(host_, type); }

std::uint32_t EapSession::Fail(std::uint32_t code) {
  status_ = code < 0x1000000 ? code | kEapBaseSession : code;
  state_ = kFailed;
  return status_;
}

std::uint32_t EapSession::ProcessRequest(const std::uint8_t* packet, std::uint32_t length,
                                         std::uint8_t* responseBuffer, std::uint32_t responseSize,
                                         std::uint32_t* responseLength) {
  std::uint32_t ignoredLength = 0;
  if (responseLength == nullptr) responseLength = &ignoredLength;
  *responseLength = 0;
  if (responseBuffer == nullptr) responseSize = 0;
  try {
    if (packet == nullptr) return VerifyCompletion();
    return HandlePacket(packet, length, responseBuffer, responseSize, responseLength);
  } catch (...) {  // allocation: the runner reports, never throws
    *responseLength = 0;
    return Fail(kEapInternalFailure);
  }
}

std::uint32_t EapSession::HandlePacket(const std::uint8_t* packet, std::uint32_t length,
                                       std::uint8_t* responseBuffer, std::uint32_t responseSize,
                                       std::uint32_t* responseLength) {
  if (state_ == kSucceeded) return Fail(kEapUnexpected);
  if (state_ == kFailed) return status_;

  std::uint8_t code, identifier, type;
  std::uint16_t eapLength;
  const std::uint8_t* data;
  std::uint32_t dataLength;
  if (!ParseEapPacket(packet, length, code, identifier, eapLength, type, data, dataLength)) {
    return Fail(kEapMalformed);
  }

  if (code == kEapCodeRequest) {
    if (++requests_ > kMaxRequests) {
      if (TraceEnabled(TraceLevel::Error))
        traceError(TraceCategory::Eap, nullptr, 0,
                   "EAP: more than %u requests without completing; conversation ended\n",
                   static_cast<unsigned>(kMaxRequests));
      return Fail(kEapSessionTooManyRounds);
    }
    bool answered = false;
    const std::uint32_t result = HandleRequest(identifier, type, data, dataLength, responseBuffer,
                                               responseSize, responseLength, &answered);
    if (answered || result != 0) return result;
  } else if (!method_ || !method_->WantsAllEapPackets()) {
    return Fail(kEapUnexpected);
  }

  std::uint32_t result = method_->ReceiveEapRequest(packet, length);
  if (result == 0) result = method_->GetEapResponse(responseBuffer, responseSize, responseLength);
  if (result == 0 && *responseLength > responseSize) result = kEapSessionInternalFailure;
  status_ = result;
  if (result != 0) {
    *responseLength = 0;
    state_ = kFailed;
  }
  return result;
}

// The runner's own answers to a Request. Sets *answered when the runner has answered it
// itself (Notification, Identity, Nak); otherwise the request goes on to the method, which
// exists and runs when this returns 0.
std::uint32_t EapSession::HandleRequest(std::uint8_t identifier, std::uint8_t type,
                                        const std::uint8_t* data, std::uint32_t dataLength,
                                        std::uint8_t* responseBuffer, std::uint32_t responseSize,
                                        std::uint32_t* responseLength, bool* answered) {
  if (type == kEapTypeNotification) {
    if (dataLength > 0 && host_ != nullptr) {
      host_->AppendNotification(reinterpret_cast<const char*>(data), dataLength);
    }
    if (responseSize < kNotificationResponseLength) return Fail(kEapInternalFailure);
    WriteEapResponseHeader(responseBuffer, identifier, kEapTypeNotification,
                           kNotificationResponseLength);
    *responseLength = kNotificationResponseLength;
    *answered = true;
    return 0;
  }

  // A Nak is no answer to an Identity request (Nak answers authentication types only):
  // answer with the user name, as the PAE and the tunnels do, and change nothing else.
  if (type == kEapTypeIdentity) {
    const char* name = "";
    if (host_ != nullptr && host_->Services() != nullptr) name = host_->Services()->GetUserName();
    const std::size_t nameLength = std::strlen(name);
    if (nameLength > 0xFFFF - kEapTypedHeaderSize ||
        responseSize < kEapTypedHeaderSize + nameLength) {
      return Fail(kEapInternalFailure);
    }
    const auto total = static_cast<std::uint16_t>(kEapTypedHeaderSize + nameLength);
    WriteEapResponseHeader(responseBuffer, identifier, kEapTypeIdentity, total);
    std::memcpy(responseBuffer + kEapTypedHeaderSize, name, nameLength);
    *responseLength = total;
    *answered = true;
    return 0;
  }

  // The server moved on to another method (EAP-TLV belongs to the running PEAP).
  if (state_ == kRunning && type != currentType_ && type != kEapTypeTlv) {
    method_.reset();
    state_ = kChoosing;
    status_ = 0;
  }
  if (state_ != kChoosing) return 0;

  const std::uint32_t* first = allowedTypes_ != nullptr ? allowedTypes_->types.begin() : nullptr;
  const std::uint32_t* last = allowedTypes_ != nullptr ? allowedTypes_->types.end() : nullptr;
  if (FindUInt32(first, last, type) == last) {
    // Each allowed type is proposed once, in the identity's order.
    if (nakIndex_ >= static_cast<std::uint32_t>(last - first))
      return Fail(kEapSessionTypesExhausted);
    const std::uint32_t proposed = first[nakIndex_++];
    if (responseSize < kNakLength) return Fail(kEapInternalFailure);
    WriteEapResponseHeader(responseBuffer, identifier, kEapTypeNak, kNakLength);
    responseBuffer[kEapTypedHeaderSize] = static_cast<std::uint8_t>(proposed);
    *responseLength = kNakLength;
    *answered = true;
    return 0;
  }

  method_.reset(CreateMethod(type));
  if (!method_) return Fail(kEapInternalFailure);
  const std::uint32_t initialized = method_->Initialize();
  if (initialized != 0) return Fail(initialized);
  currentType_ = type;
  state_ = kRunning;
  return 0;
}

std::uint32_t EapSession::Complete() {
  if (state_ == kChoosing) return Fail(kEapInProgress);
  if (state_ != kRunning) return FinalResult();
  const std::uint32_t status = method_->VerifyCompletion();
  if (!names_.Empty()) names_.Append(", ");
  names_.Append(method_->GetName());
  if (EapStatusIsComplete(status)) {
    status_ = status;
    state_ = kSucceeded;
    return 0;
  }
  // A method that reports neither completion nor a failure has not completed.
  status_ = status != 0 ? status : kEapSessionNoMethodRun;
  state_ = kFailed;
  return status_;
}

std::uint32_t EapSession::VerifyCompletion() {
  try {
    return Complete();
  } catch (...) {
    return Fail(kEapInternalFailure);
  }
}

std::uint32_t EapSession::VerifyMethodCompletion() {
  const std::uint32_t result = VerifyCompletion();
  return state_ == kSucceeded ? status_ : result;
}

std::uint32_t EapSession::GetStatus() {
  if (state_ == kChoosing) return kEapSessionNoMethodRun;
  return state_ == kRunning ? method_->GetStatus() : FinalResult();
}
