#include "ksSupp/eap/eap_ttls.h"

#include <new>

#include "ksLib_OSSL/eap_tls_peer.h"
#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap/ttls_avp.h"
#include "ksSupp/eap_method_host.h"
#include <dcf/dcfEapHeader.h>

namespace {

constexpr char kKeyLabel[] = "ttls keying material";
constexpr char kChallengeLabel[] = "ttls challenge";
constexpr std::uint32_t kCertificateOnly = 5;

}  // namespace

EapTtls::EapTtls(EapMethodHost* methodHost) : EapTls(methodHost, kEapBaseTtls, kEapTypeTtls) {}

EapTtls::~EapTtls() = default;

std::uint32_t EapTtls::Initialize() {
  inner_.reset();
  selector_ = methodHost_ != nullptr ? methodHost_->GetTtlsInnerAuthProtocol() : 0;
  // Only the inner protocol "certificate only" offers the user's certificate.
  return CreatePeer(selector_ == kCertificateOnly);
}

std::uint32_t EapTtls::GetStatus() {
  return inner_ ? inner_->GetStatus() : TlsPhaseStatus();
}

// Without an inner protocol the server cannot have been answered inside the tunnel: an
// EAP-Success then is refused (phase 2 cannot be skipped).
std::uint32_t EapTtls::VerifyCompletion() {
  return inner_ ? inner_->VerifyCompletion() : TlsPhaseStatus();
}

const char* EapTtls::GetName() {
  displayName_.Assign("EAP-TTLS");
  // An inner EAP method that failed before its completion check has no name: no brackets.
  const char* innerName = inner_ ? inner_->GetName() : "";
  if (innerName[0] != '\0') {
    displayName_.Append(" [");
    displayName_.Append(innerName);
    displayName_.Append("]");
  }
  return displayName_.CStr();
}

bool EapTtls::GetKeys(std::uint8_t keys[kEapKeyBlockSize]) {
  return DeriveKeyMaterial(kKeyLabel, keys, kEapKeyBlockSize);
}

std::uint32_t EapTtls::ReceiveEapRequest(const std::uint8_t* packet, std::uint32_t length) {
  try {
    const std::uint32_t handshake = EapTls::ReceiveEapRequest(packet, length);
    if (handshake != 0 || peer_ == nullptr) return handshake;
    if ((tlsState_ & kTlsTunnelOpen) == 0) return 0;
    if (!inner_) return OpenTunnel();
    if ((tlsState_ & kTlsHandshakeOutputSent) == 0) return RunInner(nullptr, 0);

    SecureByteArray avps;
    std::uint32_t read = 0;
    if (const std::uint32_t status = ReadTunnel(avps, read); status != 0) return status;
    return RunInner(avps.Data(), read);
  } catch (const std::bad_alloc&) {
    return statusBase_ | kEapInternalFailure;
  }
}

std::uint32_t EapTtls::OpenTunnel() {
  const std::uint32_t tlsStatus = TlsPhaseStatus();
  if ((tlsStatus & kEapClassMask) != kEapInProgress) return tlsStatus;
  bool resumed = false;
  if (peer_->IsSessionResumed(&resumed) != 0) return statusBase_ | kEapInternalFailure;
  resumed_ = resumed;
  if (resumed) inner_ = std::make_unique<ResumedSessionMethod>();
  else inner_ = CreateTtlsInnerProtocol(selector_, methodHost_);
  if (!inner_) return statusBase_ | kEapInternalFailure;
  if (const std::uint32_t n = inner_->ChallengeLength(); n > 0) {
    SecureByteArray challenge;
    challenge.Resize(n);
    if (!DeriveKeyMaterial(kChallengeLabel, challenge.Data(), n)) {
      return statusBase_ | kEapInternalFailure;
    }
    inner_->SetChallenge(challenge.Data(), n);
  }
  return RunInner(nullptr, 0);
}

std::uint32_t EapTtls::RunInner(const std::uint8_t* avps, std::uint32_t length) {
  std::uint32_t count = 0;
  if (!CountAvps(avps, length, count)) return statusBase_ | kEapMalformed;
  // An AVP without the mandatory flag may be ignored; a mandatory one must be understood.
  dcfByteArray handled;
  handled.Resize(count);
  AvpReader reader(avps, length);
  Avp avp;
  while (reader.Next(avp)) handled[reader.index()] = avp.Mandatory() ? 0 : 1;

  AvpWriter writer;
  const std::uint32_t result = inner_->Process(avps, length, handled.Data(), count, writer);
  if (result != 0) return result;
  for (const std::uint8_t flag : handled) {
    if (flag == 0) return statusBase_ | kEapUnexpected;
  }
  if (!writer.Empty() && peer_->WriteInnerEap(writer.Data(), writer.Length()) != 0) {
    return TlsFailureStatus();
  }
  return 0;
}
