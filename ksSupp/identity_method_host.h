// IdentityMethodHost: the EAP method host over one identity. It copies the identity's names
// and password, derives the names the methods ask for, keeps the password hashes, asks its
// owner (the PAE of a link or the EAP-method handle) for whatever the identity does not
// hold, and sets up the TLS peer of the TLS-family methods.
#pragma once

#include <collections/dcfByteArray.h>
#include <dcf/dcfComPtr.h>
#include <strings/SecureCString.h>

#include <cstdint>

#include "ksSupp/eap_host_services.h"
#include "ksSupp/eap_method_host.h"
#include "ksSupp/eap_type_list.h"
#include "ksLib_OSSL/eap_tls_peer.h"
#include "ksSupp/identity.h"

class EapMethod;
class IdentityTlsCredential;

class IdentityMethodHost : public EapMethodHost, private EapMethodHostServices {
 public:
  // The owner's password answer and the credential prompt's two answers, NUL included.
  static constexpr std::uint32_t kPasswordBufferSize = 514;
  static constexpr std::uint32_t kCredentialBufferSize = 257;
  // Status of a TLS peer that could not be made or set up.
  static constexpr std::uint32_t kTlsPeerFailed = 0x6000;

  // One reference, for the caller; the owner is not owned and must outlive the host.
  explicit IdentityMethodHost(EapHostServices& owner) : owner_(owner) {}

  void SetIdentity(Identity* identity) { identity_.Assign(identity); }
  Identity* GetIdentity() const { return identity_.Get(); }
  void SetResumptionTimeout(std::uint32_t seconds) { resumptionTimeout_ = seconds; }
  // Copies the identity's names and password; false without an identity.
  bool LoadIdentity();

  // The outer method for the type, hosted here; null for a type that is not one.
  EapMethod* CreateEapMethod(std::uint32_t type);
  // A TLS peer for the type on the identity's TLS context, set up for this host: 0 and the
  // peer, or the credential's own failure status, or kTlsPeerFailed.
  std::uint32_t CreateTlsPeer(std::uint32_t type, bool withClientCertificate,
                              EapTlsPeer** peer) override;
  std::uint32_t GetTtlsInnerAuthProtocol() const override;
  const EapTypeList* InnerEapTypes(std::uint32_t tunnelType) override;

  EapMethodHostServices* Services() override { return this; }
  void AppendNotification(const char* text, std::uint32_t length) override {
    owner_.AppendNotification(text, length);
  }

  // The hooks handed to the TLS engine (argument: the host). They never throw.
  static std::uint32_t VerifyServerChain(void* host, const DerCertificate* certificates,
                                         std::uint32_t count) noexcept;
  static int SignDigest(void* host, char selector, std::uint32_t keySize,
                        const std::uint8_t* digest, std::uint32_t digestLength,
                        std::uint32_t request1, std::uint32_t request2, std::uint8_t* out,
                        std::uint32_t capacity, std::uint32_t* outLength) noexcept;

 protected:
  ~IdentityMethodHost() override = default;

  // Makes a TLS peer on the credential's TLS context: 0 and the peer, else a failure.
  virtual std::uint32_t MakeTlsPeer(IdentityTlsCredential& credential, EapTlsPeer** peer);
  // Signs with the client certificate's key in the library when the owner did not: 0 with
  // *outLength bytes in out, -1 on failure.
  virtual int SignLocally(IdentityTlsCredential& credential, char selector,
                          const std::uint8_t* digest, std::uint32_t digestLength,
                          std::uint8_t* out, std::uint32_t capacity, std::uint32_t* outLength);

 private:
  // EapMethodHostServices.
  const char* GetUserName() override;
  const char* GetOuterName() override;
  const char* GetWindowsUserName() override;
  const char* GetPassword() override;
  const std::uint8_t* GetLmPasswordHash() override;
  const std::uint8_t* GetNtPasswordHash() override;
  bool AnswerChallenge(const char* text, std::uint32_t length, dcfByteArray& answer) override;
  bool GetToken(dcfByteArray& token) override;
  bool CredentialPrompt(const char* message, dcfString& first, dcfString& second) override;
  bool HasIdentityPassword() override;
  void Notice(std::uint32_t code) override { owner_.Notice(code); }
  void NotifyMethodSucceeded(std::uint32_t) override { owner_.MethodCompleted(); }

  std::uint32_t SetupTls(EapTlsPeer& peer, std::uint32_t type);
  // The cache when it holds a hash, else the hash of the current password computed into it.
  const std::uint8_t* CachedHash(SecureByteArray& cache, bool (*compute)(const char*, std::uint8_t*));

  EapHostServices& owner_;
  dcfComPtr<Identity> identity_;
  std::uint32_t resumptionTimeout_ = 0;
  SecureCString userName_;
  SecureCString windowsName_;
  SecureCString realmLessName_;   // the user name before its first '@'
  SecureCString domainLessName_;  // the realm-less name after its last '\'
  SecureCString identityPassword_;
  SecureCString currentPassword_;  // the password last handed out
  SecureByteArray ntHash_;
  SecureByteArray lmHash_;
  EapTypeList ttlsTypes_;
  EapTypeList peapTypes_;
};
