#include "ksSupp/identity.h"

#include <cstring>

Identity* Identity::Create(ApiContext* context) { return new Identity(context); }

void Identity::SetUserName(const char* name, std::uint32_t length) {
  userName_.Assign(name, length);
}

void Identity::SetWindowsName(const char* name, std::uint32_t length) {
  windowsName_.Assign(name, length);
}

void Identity::SetPassword(const char* password, std::uint32_t length) {
  password_.Assign(password, length);  // the old password is wiped
  passwordState_ = password != nullptr ? kPasswordSet : kPasswordCleared;
}

void Identity::SetTtlsIdentity(const char* name, std::uint32_t length) {
  ttlsIdentity_.Free();
  if (name != nullptr && length > 0) ttlsIdentity_.Assign(name, static_cast<std::int32_t>(length));
}

void Identity::SetEapTypes(const std::uint32_t* types, std::uint32_t count) {
  eapTypes_.Assign(count > 0 ? types : nullptr, count);
}

void Identity::SetTtlsInnerEapTypes(const std::uint32_t* types, std::uint32_t count) {
  ttlsInnerEapTypes_.Assign(count > 0 ? types : nullptr, count);
}

void Identity::SetPeapInnerEapTypes(const std::uint32_t* types, std::uint32_t count) {
  peapInnerEapTypes_.Assign(count > 0 ? types : nullptr, count);
}

void Identity::SetUserCertificate(const std::uint8_t hash[20]) {
  std::memcpy(certificateHash_, hash, sizeof certificateHash_);
  certificateLocation_ = kCurrentUserMy;
}

void Identity::Initialize() {
  plainCredential_.Attach(context_->CreateTlsContext(kNoCertificate, nullptr));
  if (certificateLocation_ != kNoCertificate) {
    certificateCredential_.Attach(
        context_->CreateTlsContext(certificateLocation_, certificateHash_));
  }
}

bool Identity::CopyPassword(char* buffer, std::uint32_t size) const {
  if (passwordState_ != kPasswordSet || password_.Get() == nullptr) return false;
  const std::size_t length = std::strlen(password_.Get());
  if (length >= size) return false;
  std::memcpy(buffer, password_.Get(), length + 1);
  return true;
}

IdentityTlsCredential* Identity::Credential(bool withCertificate) const {
  if (withCertificate && certificateCredential_) return certificateCredential_.Get();
  return plainCredential_.Get();
}
