#include "ksSupp/eap/eap_peap.h"

#include <dcf/dcfEapHeader.h>

#include <cstdio>
#include <new>

#include "ksLib_OSSL/eap_tls_peer.h"
#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap/peap_tlv.h"
#include "ksSupp/eap_method_host.h"

namespace {

constexpr std::uint8_t kResultResponseLength = 11;
constexpr std::uint8_t kResultTlv = 3;  // mandatory bit clear
constexpr std::uint8_t kResultSuccess = 1;
constexpr std::uint8_t kResultFailure = 2;

}  // namespace

EapPeap::EapPeap(EapMethodHost* methodHost) : EapTls(methodHost, kEapBasePeap, kEapTypePeap) {}

EapPeap::~EapPeap() = default;

std::uint32_t EapPeap::Initialize() {
  inner_.reset();
  phase_ = kHandshake;
  version_ = -1;
  resumedPending_ = false;
  resumedRestarted_ = false;
  return CreatePeer(/*withCertificate=*/false);
}

std::uint32_t EapPeap::GetStatus() {
  return phase_ == kSucceeded ? 0 : statusBase_ | kEapInProgress;
}

// Only an inner conversation that ended in the server's Result (or a resumed PEAPv1 session)
// completes PEAP: an EAP-Success before it, which skips the server's inner proof, fails.
std::uint32_t EapPeap::VerifyCompletion() {
  if (phase_ == kSucceeded && inner_) return inner_->VerifyCompletion();
  if (phase_ == kInner && version_ == 1 && resumedPending_ && inner_) {
    return inner_->VerifyCompletion();
  }
  return TlsPhaseStatus();
}

const char* EapPeap::GetName() {
  char head[24];
  std::snprintf(head, sizeof head, "EAP-PEAP/v%1u",
                static_cast<unsigned>(version_ < 0 ? 0 : version_));
  displayName_.Assign(head);
  // An inner method that failed before its completion check has no name in the runner:
  // then the brackets hold only what there is, and nothing at all when there is nothing.
  const char* innerName = inner_ ? inner_->GetName() : "";
  if (resumedRestarted_ || innerName[0] != '\0') {
    displayName_.Append(" [");
    if (resumedRestarted_) displayName_.Append(innerName[0] != '\0' ? "Resumed, " : "Resumed");
    displayName_.Append(innerName);
    displayName_.Append("]");
  }
  return displayName_.CStr();
}

std::uint32_t EapPeap::OpenTunnel() {
  if (const std::uint32_t status = EapTls::GetStatus(); status != 0) return status;
  std::uint32_t version = 0;
  bool resumed = false;
  if (peer_->GetPeapVersion(&version) != 0 || peer_->IsSessionResumed(&resumed) != 0) {
    return statusBase_ | kEapInternalFailure;
  }
  version_ = static_cast<std::int32_t>(version);
  resumed_ = resumed;
  resumedPending_ = resumed;
  if (resumed) inner_ = std::make_unique<PeapResumedSession>();
  else inner_ = std::make_unique<PeapInnerSession>(methodHost_);
  phase_ = kInner;
  return 0;
}

std::uint32_t EapPeap::ReceiveEapRequest(const std::uint8_t* packet, std::uint32_t length) {
  try {
    const std::uint32_t handshake = EapTls::ReceiveEapRequest(packet, length);
    if (handshake != 0 || peer_ == nullptr) return handshake;

    Outcome outcome = Outcome::kNone;
    bool resultSeen = false;
    bool answered = false;
    if ((tlsState_ & kTlsHandshakeOutputSent) != 0) {
      SecureByteArray inner;
      std::uint32_t read = 0;
      if (const std::uint32_t status = ReadTunnel(inner, read); status != 0) return status;
      if (phase_ == kHandshake && read > 0) {
        if (const std::uint32_t status = OpenTunnel(); status != 0) return status;
      } else if (phase_ != kHandshake && phase_ != kInner) {
        return statusBase_ | kEapInternalFailure;
      }
      if (phase_ == kInner) {
        if (!inner_) return statusBase_ | kEapInternalFailure;
        if (read == 0) return statusBase_ | kEapUnexpected;
        const std::uint32_t status =
            HandleInner(inner.Data(), read, outcome, resultSeen, answered);
        if (status != 0) return status;
      }
    }
    if ((tlsState_ & kTlsTunnelOpen) == 0) return 0;
    switch (phase_) {
      case kHandshake:
        return OpenTunnel();
      case kInner:
        if (!inner_) return statusBase_ | kEapInternalFailure;
        if (outcome != Outcome::kNone) return Finish(outcome, resultSeen);
        // Only an answer made for this request goes into the tunnel: a request that asked
        // for nothing (an optional TLV we do not know) must not replay an older answer.
        if (answered && !inner_->response().Empty()) {
          return Write(inner_->response().Data(), inner_->response().Length());
        }
        return 0;
      case kSucceeded:
      case kFailed:
        return statusBase_ | kEapUnexpected;
    }
    return statusBase_ | kEapInternalFailure;
  } catch (const std::bad_alloc&) {
    return statusBase_ | kEapInternalFailure;
  }
}

std::uint32_t EapPeap::HandleInner(const std::uint8_t* packet, std::uint32_t length,
                                   Outcome& outcome, bool& resultSeen, bool& answered) {
  std::uint8_t code = 0;
  std::uint16_t eapLength = 0;
  if (!ParseEapHeader(packet, length, code, innerIdentifier_, eapLength)) {
    return statusBase_ | kEapMalformed;
  }
  if (code == kEapCodeRequest && eapLength > kEapHeaderSize &&
      packet[kEapHeaderSize] == kEapTypeTlv) {
    switch (ReadPeapTlvRequest(packet + kEapTypedHeaderSize, eapLength - kEapTypedHeaderSize)) {
      case PeapTlvOutcome::kNone:
        return 0;
      case PeapTlvOutcome::kRefused:
        return statusBase_ | kEapUnexpected;
      case PeapTlvOutcome::kSuccess:
        resultSeen = true;
        code = kEapCodeSuccess;
        break;
      case PeapTlvOutcome::kFailure:
        resultSeen = true;
        code = kEapCodeFailure;
        break;
    }
  }
  switch (code) {
    case kEapCodeSuccess:
      // The inner method must have completed: the server's Success cannot stand in for it.
      if (const std::uint32_t status = inner_->GetStatus(); status != 0) return status;
      outcome = Outcome::kSuccess;
      return 0;
    case kEapCodeFailure:
      outcome = Outcome::kFailure;
      return 0;
    case kEapCodeRequest:
      break;
    default:
      return statusBase_ | kEapUnexpected;
  }
  if (resumedPending_) {
    // The server asks for an inner method after all: run one.
    resumedPending_ = false;
    resumedRestarted_ = true;
    inner_ = std::make_unique<PeapInnerSession>(methodHost_);
  }
  if (const std::uint32_t status = inner_->Process(packet, length); status != 0) return status;
  answered = true;
  return 0;
}

std::uint32_t EapPeap::Finish(Outcome outcome, bool resultSeen) {
  const bool success = outcome == Outcome::kSuccess;
  if (!success) phase_ = kFailed;
  if (version_ == 0) {
    const std::uint8_t result[] = {success ? kEapCodeSuccess : kEapCodeFailure, innerIdentifier_,
                                   0, static_cast<std::uint8_t>(kEapHeaderSize)};
    if (const std::uint32_t status = Write(result, sizeof result); status != 0) return status;
  } else if (resultSeen) {
    const std::uint8_t response[kResultResponseLength] = {
        kEapCodeResponse, innerIdentifier_, 0, kResultResponseLength, kEapTypeTlv, 0,
        kResultTlv,       0,                2, 0, success ? kResultSuccess : kResultFailure};
    if (const std::uint32_t status = Write(response, sizeof response); status != 0) {
      return status;
    }
  } else if (!success) {
    return statusBase_ | kEapRejected;
  }
  if (success) phase_ = kSucceeded;
  return 0;
}

std::uint32_t EapPeap::Write(const std::uint8_t* packet, std::uint32_t length) {
  return peer_->WriteInnerEap(packet, length) == 0 ? 0 : TlsFailureStatus();
}
