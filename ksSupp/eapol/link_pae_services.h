// The PAE services of a link's port over the link's host callbacks: every request of the
// PAE becomes that port's host callback message (port 0: the link's own port, non-zero: its
// pre-authentication port). What is engine work besides a message (keys from the method,
// the failure notice with the network's address) is left to the link engine, which derives
// from this.
#pragma once

#include <cstdint>

#include "ksSupp/eapol/pae_services.h"
#include "ksSupp/link_callbacks.h"

class LinkPaeServices : public PaeServices {
 public:
  LinkPaeServices(LinkCallbacks& callbacks, std::uintptr_t port)
      : callbacks_(callbacks), port_(port) {}

  void Report(const AuthReport& report) override { callbacks_.ReportAuthentication(port_, report); }
  void SendEapol(const std::uint8_t* frame, std::uint32_t length) override {
    callbacks_.SendEapol(port_, frame, length);
  }
  bool GetPassword(char* buffer, std::uint32_t size) override {
    return callbacks_.GetPassword(port_, buffer, size);
  }
  bool GetTokenResponse(const char* text, dcfByteArray& response) override {
    return callbacks_.GetTokenResponse(port_, text, response);
  }
  bool GetCredentials(const char* prompt, char* userName, std::uint32_t userNameSize,
                      char* password, std::uint32_t passwordSize) override {
    return callbacks_.GetCredentials(port_, prompt, userName, userNameSize, password,
                                     passwordSize);
  }
  std::uint32_t ValidateServerChain(const DerCertificate* certificates,
                                    std::uint32_t count) override {
    return callbacks_.ValidateServerChain(port_, certificates, count);
  }
  void KeysInvalidated() override { callbacks_.KeysReset(port_); }
  void NoAuthenticator() override { callbacks_.LinkFailure(kNoAuthenticatorReason); }
  bool CertificateText(const std::uint8_t hash[20], char* buffer, std::uint32_t size) override {
    return callbacks_.GetCertificateText(hash, buffer, size);
  }
  bool Sign(char selector, std::uint32_t keySize, const std::uint8_t certificateHash[20],
            const std::uint8_t* digest, std::uint32_t digestLength, std::uint32_t request1,
            std::uint32_t request2, std::uint8_t* out, std::uint32_t capacity,
            std::uint32_t& outLength) override {
    return callbacks_.PrivateKeyOperation(port_, selector, keySize, certificateHash, digest,
                                          digestLength, request1, request2, out, capacity,
                                          outLength);
  }

 protected:
  // The link-failure reason of maxStart unanswered EAPOL-Starts.
  static constexpr std::uint32_t kNoAuthenticatorReason = 5;

  LinkCallbacks& callbacks_;
  std::uintptr_t port_;
};
