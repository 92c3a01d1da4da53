#pragma once
// Identity: one user's credentials and EAP preferences, the object behind an identity
// handle. Strings are UTF-8 (the W setters convert); the password and every copy of it are
// wiped when replaced or freed.
#include <cstdint>

#include <collections/dcfArray.h>
#include <dcf/RefCounted.h>
#include <dcf/dcfComPtr.h>
#include <strings/SecureCString.h>
#include <strings/dcfString.h>

#include "ksLib_OSSL/identity_tls_credential.h"
#include "ksSupp/api_context.h"

class Identity : public RefCounted {
public:
  enum PasswordState : std::uint32_t { kPasswordNeverGiven = 0, kPasswordCleared = 1, kPasswordSet = 2 };
  // Where the client certificate is looked for.
  enum CertificateLocation : std::uint32_t { kNoCertificate = 0, kCurrentUserMy = 1, kLocalMachineMy = 2 };
  // The TTLS inner protocols.
  enum TtlsInnerProtocol : std::uint32_t {
    kTtlsPap = 1, kTtlsChap = 2, kTtlsMsChap = 3, kTtlsMsChapV2 = 4, kTtlsCertificateOnly = 5,
    kTtlsEap = 6, kTtlsPapWithToken = 7,
  };

  // A new identity (one reference) holding a reference to its context; throws std::bad_alloc.
  static Identity* Create(ApiContext* context);

  // Null clears the name (the W forms pass "" for null).
  void SetUserName(const char* name, std::uint32_t length);
  void SetWindowsName(const char* name, std::uint32_t length);
  // Non-null: the password (state "set"); null: no password (state "cleared").
  void SetPassword(const char* password, std::uint32_t length);
  // Null or empty leaves the TTLS identity empty.
  void SetTtlsIdentity(const char* name, std::uint32_t length);
  void SetEapTypes(const std::uint32_t* types, std::uint32_t count);
  void SetTtlsInnerEapTypes(const std::uint32_t* types, std::uint32_t count);
  void SetPeapInnerEapTypes(const std::uint32_t* types, std::uint32_t count);
  void SetTtlsInnerAuthProtocol(std::uint32_t protocol) { ttlsInnerProtocol_ = protocol; }
  void SetPeapNoPasswordInGtc(std::uint32_t flag) { sendPasswordInGtc_ = flag == 0; }
  // The SHA-1 hash of the client certificate in the current user's "my" store.
  void SetUserCertificate(const std::uint8_t hash[20]);
  // Builds both TLS credentials from the context (without and with the client certificate).
  void Initialize();

  ApiContext& Context() const { return *context_; }
  const char* UserName() const { return userName_.Get(); }        // may be null
  const char* WindowsName() const { return windowsName_.Get(); }  // may be null
  const char* Password() const { return password_.Get(); }        // may be null
  const dcfString& TtlsIdentity() const { return ttlsIdentity_; }
  std::uint32_t PasswordStateValue() const { return passwordState_; }
  // Copies the password with its NUL: false unless a password is set and fits.
  bool CopyPassword(char* buffer, std::uint32_t size) const;
  const dcfU32Array& EapTypes() const { return eapTypes_; }
  const dcfU32Array& TtlsInnerEapTypes() const { return ttlsInnerEapTypes_; }
  const dcfU32Array& PeapInnerEapTypes() const { return peapInnerEapTypes_; }
  std::uint32_t TtlsInnerAuthProtocol() const { return ttlsInnerProtocol_; }
  bool SendPasswordInGtc() const { return sendPasswordInGtc_; }
  std::uint32_t UserCertificateLocation() const { return certificateLocation_; }
  const std::uint8_t* UserCertificateHash() const { return certificateHash_; }
  // The credential with the client certificate when asked and present, else the one without
  // it; null before Initialize.
  IdentityTlsCredential* Credential(bool withCertificate) const;

private:
  explicit Identity(ApiContext* context) : context_(context) {}
  ~Identity() override = default;

  dcfComPtr<IdentityTlsCredential> certificateCredential_;
  dcfComPtr<IdentityTlsCredential> plainCredential_;
  dcfComPtr<ApiContext> context_;
  SecureCString userName_;
  SecureCString windowsName_;
  SecureCString password_;
  dcfString ttlsIdentity_;
  std::uint32_t passwordState_ = kPasswordNeverGiven;
  std::uint32_t ttlsInnerProtocol_ = 0;
  std::uint32_t certificateLocation_ = kNoCertificate;
  std::uint8_t certificateHash_[20] = {};
  dcfU32Array eapTypes_;
  dcfU32Array ttlsInnerEapTypes_;
  dcfU32Array peapInnerEapTypes_;
  bool sendPasswordInGtc_ = true;
};
