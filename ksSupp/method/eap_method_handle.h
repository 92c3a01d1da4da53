#pragma once
// EapMethodHandle: one EAP method that a host runs by itself, outside any link. The handle
// is the method's host (over the identity given) and answers the method's questions with
// callback messages of its own codes; the host feeds it EAP-Requests and fetches the
// responses, completion and keys.
#include <cstdint>
#include <memory>

#include <dcf/dcfComPtr.h>
#include <ksstk.h>

#include "ksSupp/api_context.h"
#include "ksSupp/eap/eap_method.h"
#include "ksSupp/identity_method_host.h"
#include "ksSupp/link_callback_adapter.h"

class EapMethodHandle final : public IdentityMethodHost {
 public:
  // A status that tells the host the handle has no method.
  static constexpr std::uint32_t kNoMethod = KSSTK_EAP_STATUS_NO_METHOD;

  // One reference, for the caller.
  static EapMethodHandle* Create(ApiContext& context, std::uint32_t eapType, StringForm form) {
    return new EapMethodHandle(context, eapType, form);
  }

  void SetCallback(KSSTK_CALLBACK callback, std::uintptr_t user) { adapter_.SetHost(callback, user); }
  // 0, or E_FAIL without an identity, for an unknown type, or when the method fails to start.
  std::int32_t Initialize();
  void ReceiveEapRequest(const std::uint8_t* packet, std::uint32_t length);
  void GetEapResponse(std::uint8_t* buffer, std::uint32_t size, std::uint32_t* length);
  void VerifyCompletion();
  // The 64-byte key block into a block from the host's allocator; false when there is none.
  bool GetKeys(KSSTK_BLOB& keys);
  void SetAuthenticationResult(bool success) {
    if (method_) method_->SetAuthenticationResult(success);
  }
  void Terminate() {
    if (method_) method_->Terminate();
  }

 private:
  EapMethodHandle(ApiContext& context, std::uint32_t eapType, StringForm form);
  ~EapMethodHandle() override;

  // A status notice (code 1) to the host.
  void Notify(std::uint32_t status) { adapter_.Status(status); }

  // The owner of the method host: its questions as the handle's messages.
  class Owner final : public EapHostServices {
   public:
    explicit Owner(LinkCallbackAdapter& adapter) : adapter_(adapter) {}
    void AppendNotification(const char*, std::uint32_t) override {}
    void TransmitResponse(const std::uint8_t*, std::uint32_t) override {}
    bool GetPassword(char* buffer, std::uint32_t size) override;
    bool GetTokenResponse(const char* text, std::uint32_t length, dcfByteArray& response) override;
    bool GetPapPassword(dcfByteArray&) override { return false; }
    bool GetCredentials(const char* prompt, char* userName, std::uint32_t userNameSize,
                        char* password, std::uint32_t passwordSize) override;
    void Notice(std::uint32_t) override {}
    std::uint32_t ValidateServerChain(const DerCertificate* certificates,
                                      std::uint32_t count) override;
    bool Sign(char selector, std::uint32_t keySize, const std::uint8_t certificateHash[20],
              const std::uint8_t* digest, std::uint32_t digestLength, std::uint32_t request1,
              std::uint32_t request2, std::uint8_t* out, std::uint32_t capacity,
              std::uint32_t& outLength) override;
    bool CertificateText(const std::uint8_t[20], char*, std::uint32_t) override { return false; }
    void MethodCompleted() override {}

   private:
    LinkCallbackAdapter& adapter_;
  };

  dcfComPtr<ApiContext> context_;
  LinkCallbackAdapter adapter_;
  Owner owner_{adapter_};
  std::uint32_t eapType_;
  std::unique_ptr<EapMethod> method_;
};
