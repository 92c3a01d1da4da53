#include "ksSupp/identity_method_host.h"

#include <dcf/dcfWipe.h>
#include <strings/dcfString.h>

#include <cstring>

#include "ksLib_OSSL/identity_tls_credential.h"
#include "ksLib_OSSL/openssl_eap_tls_peer.h"
#include "ksSupp/cert_utility_calls.h"
#include "ksSupp/eap/eap_method.h"
#include "ksSupp/eap/ms_chap.h"
#include <dcf/dcfEapHeader.h>
#include "ksSupp/trace.h"

namespace {

std::uint32_t Length(const char* text) { return static_cast<std::uint32_t>(std::strlen(text)); }

const char* OrEmpty(const char* text) { return text != nullptr ? text : ""; }

// Copies text (null stays null) into holder.
void CopyInto(SecureCString& holder, const char* text) {
  holder.Assign(text, text != nullptr ? Length(text) : 0);
}

// A NUL-terminated buffer that is wiped when it goes.
template <std::uint32_t N>
struct WipedBuffer {
  char text[N] = {};
  ~WipedBuffer() { dcfWipe(text, sizeof text); }
  // The owner may have filled the whole buffer: the last byte always ends the text.
  const char* Terminated() {
    text[N - 1] = '\0';
    return text;
  }
};

bool LmHashOf(const char* password, std::uint8_t* hash) {
  LmPasswordHash(password, hash);
  return true;
}

bool NtHashOf(const char* password, std::uint8_t* hash) {
  return NtPasswordHashOfUtf8(password, hash);
}

}  // namespace

bool IdentityMethodHost::LoadIdentity() {
  if (!identity_) return false;
  CopyInto(userName_, identity_->UserName());
  CopyInto(windowsName_, identity_->WindowsName());
  CopyInto(identityPassword_, identity_->Password());

  // No export sets a second user name, so the domain-less name starts from the realm-less one.
  const char* user = userName_.Get();
  if (user == nullptr) {
    realmLessName_.Free();
  } else {
    const char* at = std::strchr(user, '@');
    realmLessName_.Assign(user, at != nullptr ? static_cast<std::uint32_t>(at - user) : Length(user));
  }
  const char* source = realmLessName_.Get();
  if (source == nullptr) {
    domainLessName_.Free();
  } else {
    const char* backslash = std::strrchr(source, '\\');
    CopyInto(domainLessName_, backslash != nullptr ? backslash + 1 : source);
  }
  return true;
}

EapMethod* IdentityMethodHost::CreateEapMethod(std::uint32_t type) {
  return createEapMethod(this, type);
}

const EapTypeList* IdentityMethodHost::InnerEapTypes(std::uint32_t tunnelType) {
  if (!identity_ || (tunnelType != kEapTypeTtls && tunnelType != kEapTypePeap)) return nullptr;
  EapTypeList& list = tunnelType == kEapTypeTtls ? ttlsTypes_ : peapTypes_;
  list.types = tunnelType == kEapTypeTtls ? identity_->TtlsInnerEapTypes()
                                          : identity_->PeapInnerEapTypes();
  list.sendPasswordInGtc = identity_->SendPasswordInGtc();
  return &list;
}

std::uint32_t IdentityMethodHost::GetTtlsInnerAuthProtocol() const {
  return identity_ ? identity_->TtlsInnerAuthProtocol() : 0;
}

const char* IdentityMethodHost::GetUserName() { return OrEmpty(userName_.Get()); }

const char* IdentityMethodHost::GetOuterName() { return OrEmpty(realmLessName_.Get()); }

const char* IdentityMethodHost::GetWindowsUserName() {
  return windowsName_.Get() != nullptr ? windowsName_.Get() : OrEmpty(domainLessName_.Get());
}

const char* IdentityMethodHost::GetPassword() {
  if (identityPassword_.Get() != nullptr) {
    CopyInto(currentPassword_, identityPassword_.Get());
    return currentPassword_.Get();
  }
  // The application's password is asked again at every call; only the hashes are kept.
  currentPassword_.Free();
  WipedBuffer<kPasswordBufferSize> answer;
  if (!owner_.GetPassword(answer.text, kPasswordBufferSize)) return nullptr;
  CopyInto(currentPassword_, answer.Terminated());
  return currentPassword_.Get();
}

const std::uint8_t* IdentityMethodHost::CachedHash(SecureByteArray& cache,
                                                   bool (*compute)(const char*, std::uint8_t*)) {
  if (cache.Length() == kNtHashSize) return cache.Data();
  const char* password = GetPassword();
  if (password == nullptr) return nullptr;
  cache.Resize(kNtHashSize);
  if (!compute(password, cache.Data())) {
    cache.Resize(0);
    return nullptr;
  }
  return cache.Data();
}

const std::uint8_t* IdentityMethodHost::GetLmPasswordHash() { return CachedHash(lmHash_, LmHashOf); }

// A password that is not valid UTF-8 has no NT hash: converting it would drop everything
// from the first invalid byte on.
const std::uint8_t* IdentityMethodHost::GetNtPasswordHash() { return CachedHash(ntHash_, NtHashOf); }

bool IdentityMethodHost::AnswerChallenge(const char* text, std::uint32_t length,
                                         dcfByteArray& answer) {
  return owner_.GetTokenResponse(text, length, answer);
}

bool IdentityMethodHost::GetToken(dcfByteArray& token) { return owner_.GetPapPassword(token); }

bool IdentityMethodHost::CredentialPrompt(const char* message, dcfString& first,
                                          dcfString& second) {
  WipedBuffer<kCredentialBufferSize> user;
  WipedBuffer<kCredentialBufferSize> password;
  if (!owner_.GetCredentials(message, user.text, kCredentialBufferSize, password.text,
                             kCredentialBufferSize)) {
    second.Assign("");
    return false;
  }
  // The next hash request recomputes from the new password.
  ntHash_.Resize(0);
  lmHash_.Resize(0);
  first.Assign(user.Terminated());
  second.Assign(password.Terminated());
  CopyInto(currentPassword_, password.text);
  return true;
}

bool IdentityMethodHost::HasIdentityPassword() {
  return identity_ && identity_->PasswordStateValue() != Identity::kPasswordNeverGiven;
}

std::uint32_t IdentityMethodHost::CreateTlsPeer(std::uint32_t type, bool withClientCertificate,
                                                EapTlsPeer** peer) {
  *peer = nullptr;
  if (!identity_) return kTlsPeerFailed;
  IdentityTlsCredential* credential = identity_->Credential(withClientCertificate);
  if (credential == nullptr) return kTlsPeerFailed;
  if (credential->status != IdentityTlsCredential::kReady) return credential->status;
  EapTlsPeer* made = nullptr;
  if (MakeTlsPeer(*credential, &made) != 0 || made == nullptr) return kTlsPeerFailed;
  if (SetupTls(*made, type) != 0) {
    made->Release();
    return kTlsPeerFailed;
  }
  *peer = made;
  return 0;
}

std::uint32_t IdentityMethodHost::SetupTls(EapTlsPeer& peer, std::uint32_t type) {
  const char* name = type == kEapTypeTls    ? "tls"
                     : type == kEapTypeTtls ? "ttls"
                     : type == kEapTypePeap ? "peap"
                                            : nullptr;
  if (name == nullptr) return kTlsPeerFailed;
  if (peer.EnableEapType(name) != 0) return kTlsPeerFailed;
  if (peer.SetPeapVersionRange(0, 1) != 0) return kTlsPeerFailed;
  if (peer.SetMaxMessageSize(65536) != 0) return kTlsPeerFailed;
  if (peer.SetSessionResumptionTimeout(resumptionTimeout_) != 0) return kTlsPeerFailed;
  if (peer.SetExternalSigner(&SignDigest, this) != 0) return kTlsPeerFailed;
  if (peer.CreateConnection() != 0) return kTlsPeerFailed;
  if (peer.SetChainVerifyHook(&VerifyServerChain, this) != 0) return kTlsPeerFailed;
  return 0;
}

std::uint32_t IdentityMethodHost::MakeTlsPeer(IdentityTlsCredential& credential,
                                              EapTlsPeer** peer) {
  OpenSslEapTlsPeer* made = nullptr;
  if (!credential.context || credential.context->CreatePeer(&made) != 0) return kTlsPeerFailed;
  *peer = made;
  return 0;
}

// The certificate's private-key transform: the key stays in the certificate store.
int IdentityMethodHost::SignLocally(IdentityTlsCredential& credential, char selector,
                                    const std::uint8_t* digest, std::uint32_t digestLength,
                                    std::uint8_t* out, std::uint32_t capacity,
                                    std::uint32_t* outLength) {
  if (!credential.certificate) return -1;
  std::uint32_t length = 0;
  VARIANT_BOOL done = VARIANT_FALSE;
  const HRESULT result = credential.certificate->ApplyTransformEx(
      selector == 't' ? KS_CERT_TRANSFORM_SIGN_DSA : KS_CERT_TRANSFORM_RSA_SIGN, digest,
      digestLength, out, capacity, nullptr, &length, &done);
  CheckCertUtility(result, "error return from ApplyTransformEx call in certificate utility object",
                   __LINE__);
  *outLength = length;
  return result == S_OK && done == VARIANT_TRUE ? 0 : -1;
}

std::uint32_t IdentityMethodHost::VerifyServerChain(void* argument,
                                                    const DerCertificate* certificates,
                                                    std::uint32_t count) noexcept {
  // Any failure to ask is a chain the host did not accept.
  constexpr std::uint32_t kNotTrusted = 8;
  try {
    return static_cast<IdentityMethodHost*>(argument)->owner_.ValidateServerChain(certificates,
                                                                                  count);
  } catch (...) {
    if (TraceEnabled(TraceLevel::Error)) {
      traceError(TraceCategory::Eap, nullptr, 0, "Server chain could not be judged\n");
    }
    return kNotTrusted;
  }
}

int IdentityMethodHost::SignDigest(void* argument, char selector, std::uint32_t keySize,
                                   const std::uint8_t* digest, std::uint32_t digestLength,
                                   std::uint32_t request1, std::uint32_t request2,
                                   std::uint8_t* out, std::uint32_t capacity,
                                   std::uint32_t* outLength) noexcept {
  try {
    auto& host = *static_cast<IdentityMethodHost*>(argument);
    *outLength = 0;
    IdentityTlsCredential* credential =
        host.identity_ ? host.identity_->Credential(true) : nullptr;
    if (credential == nullptr || !credential->hasHash) return -1;
    std::uint32_t length = 0;
    if (!host.owner_.Sign(selector, keySize, credential->hash, digest, digestLength, request1,
                          request2, out, capacity, length)) {
      return -1;
    }
    if (length > capacity) return -1;
    if (length != 0) {
      *outLength = length;
      return 0;
    }
    if (selector != 'r' && selector != 't') return -1;
    return host.SignLocally(*credential, selector, digest, digestLength, out, capacity,
                            outLength);
  } catch (...) {
    if (TraceEnabled(TraceLevel::Error)) {
      traceError(TraceCategory::Eap, nullptr, 0, "Signing with the client key failed\n");
    }
    *outLength = 0;
    return -1;
  }
}
