#include "ksSupp/eap/eap_tls.h"

#include "ksLib_OSSL/eap_tls_peer.h"
#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap_method_host.h"
#include <dcf/dcfEapHeader.h>

namespace {

constexpr char kKeyLabel[] = "client EAP encryption";
constexpr std::uint32_t kAlertSentStatus = 0xB200;
constexpr std::uint32_t kAlertReceivedStatus = 0xB300;

}  // namespace

EapTls::EapTls(EapMethodHost* methodHost) : EapTls(methodHost, kEapBaseTls, kEapTypeTls) {}

EapTls::EapTls(EapMethodHost* methodHost, std::uint32_t statusBase, std::uint32_t eapType)
    : EapMethod(methodHost != nullptr ? methodHost->Services() : nullptr, statusBase),
      methodHost_(methodHost),
      eapType_(eapType) {}

EapTls::~EapTls() {
  if (peer_ != nullptr) peer_->Release();
}

std::uint32_t EapTls::Initialize() {
  resumed_ = false;
  return CreatePeer(/*withCertificate=*/true);
}

std::uint32_t EapTls::CreatePeer(bool withCertificate) {
  if (methodHost_ == nullptr) return statusBase_ | kEapNoCredential;
  if (peer_ != nullptr) {
    peer_->Release();
    peer_ = nullptr;
  }
  tlsState_ = 0;
  const std::uint32_t result = methodHost_->CreateTlsPeer(eapType_, withCertificate, &peer_);
  return result == 0 ? 0 : WithBase(result);
}

std::uint32_t EapTls::ReadTunnel(SecureByteArray& into, std::uint32_t& length) {
  constexpr std::uint32_t kFirstSize = 4096;
  into.Resize(kFirstSize);
  const std::int32_t result = peer_->ReadInnerEap(into.Data(), into.Length(), &length);
  if (result == EapTlsPeer::kInnerBufferTooSmall) {
    into.Resize(length);
    if (peer_->ReadInnerEap(into.Data(), into.Length(), &length) != 0) return TlsFailureStatus();
  } else if (result != 0) {
    return TlsFailureStatus();
  }
  return 0;
}

std::uint32_t EapTls::AlertStatus() const {
  std::uint32_t alert = 0;
  if (peer_ == nullptr || peer_->GetFirstAlert(&alert) != 0) return 0;
  if ((alert & 0xF000) != 0x2000) return 0;
  const std::uint32_t side = alert & 0x0F00;
  if (side == 0x0100) return statusBase_ | kAlertSentStatus | (alert & 0xFF);
  if (side == 0x0200) return statusBase_ | kAlertReceivedStatus | (alert & 0xFF);
  return 0;
}

std::uint32_t EapTls::TlsFailureStatus() const {
  if (const std::uint32_t alert = AlertStatus()) return alert;
  std::uint32_t error = 0;
  if (peer_ == nullptr || peer_->GetLastTlsError(&error) != 0) {
    return statusBase_ | kEapInternalFailure;
  }
  return statusBase_ | (error != 0 ? kEapTlsError : kEapTlsFraming);
}

std::uint32_t EapTls::TlsPhaseStatus() const {
  if (const std::uint32_t alert = AlertStatus()) return alert;
  std::uint32_t error = 0;
  if (peer_ == nullptr || peer_->GetLastTlsError(&error) != 0) {
    return statusBase_ | kEapInternalFailure;
  }
  return statusBase_ | (error != 0 ? kEapTlsError : kEapInProgress);
}

std::uint32_t EapTls::GetStatus() {
  if (const std::uint32_t alert = AlertStatus()) return alert;
  std::uint32_t error = 0;
  if (peer_ != nullptr && peer_->GetLastTlsError(&error) != 0) {
    return statusBase_ | kEapInternalFailure;
  }
  if (error != 0) return statusBase_ | kEapTlsError;
  return (tlsState_ & kTlsHandshakeDone) != 0 ? 0 : statusBase_ | kEapInProgress;
}

std::uint32_t EapTls::VerifyCompletion() {
  const std::uint32_t status = GetStatus();
  if (status != 0) return status;
  bool resumed = false;
  if (peer_->IsSessionResumed(&resumed) != 0) return statusBase_ | kEapInternalFailure;
  resumed_ = resumed;
  return kEapComplete;
}

const char* EapTls::GetName() { return resumed_ ? "EAP-TLS (resumed)" : "EAP-TLS"; }

bool EapTls::GetKeys(std::uint8_t keys[kEapKeyBlockSize]) {
  return DeriveKeyMaterial(kKeyLabel, keys, kEapKeyBlockSize);
}

bool EapTls::DeriveKeyMaterial(const char* label, std::uint8_t* out, std::uint32_t length) {
  return peer_ != nullptr && (tlsState_ & kTlsHandshakeDone) != 0 &&
         peer_->DeriveKeyMaterial(label, out, length) == 0;
}

bool EapTls::GetCipherSuite(std::uint16_t* suite) {
  return peer_ != nullptr && suite != nullptr && peer_->GetCipherSuite(suite) == 0;
}

void EapTls::SetAuthenticationResult(bool success) {
  if (peer_ == nullptr) return;
  if (success) peer_->SaveSession();
  else peer_->DropSession();
}

std::uint32_t EapTls::ReceiveEapRequest(const std::uint8_t* packet, std::uint32_t length) {
  if (peer_ == nullptr) return 0;
  if (peer_->ProcessRequest(packet, length) != 0) return TlsFailureStatus();
  std::uint32_t state = 0;
  if (peer_->GetTlsStatus(&state) != 0) return statusBase_ | kEapInternalFailure;
  tlsState_ = state;
  return 0;
}

std::uint32_t EapTls::GetEapResponse(std::uint8_t* buffer, std::uint32_t size,
                                     std::uint32_t* length) {
  if (peer_ == nullptr) {
    if (length != nullptr) *length = 0;
    return 0;
  }
  std::uint32_t produced = 0;
  if (length == nullptr || peer_->GetResponse(buffer, size, &produced) != 0) {
    return statusBase_ | kEapInternalFailure;
  }
  *length = produced;
  return 0;
}
