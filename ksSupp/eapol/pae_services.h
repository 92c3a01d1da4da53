// What the supplicant PAE needs of the port it runs on. The link engine implements it (each
// operation becomes a host callback message or engine work); the pre-authentication port
// has its own copy. Operations in slot order.
#pragma once

#include <cstdint>

#include "ksSupp/cert_list.h"
#include "ksSupp/link_callbacks.h"

class dcfByteArray;

class PaeServices {
 public:
  // The authentication report; sent only when it changed since the last one.
  virtual void Report(const AuthReport& report) = 0;
  // One EAPOL frame (header and body) for the authenticator.
  virtual void SendEapol(const std::uint8_t* frame, std::uint32_t length) = 0;
  // The user's password (UTF-8, NUL-terminated) into buffer.
  virtual bool GetPassword(char* buffer, std::uint32_t size) = 0;
  // The answer to a server's challenge text (NUL-terminated).
  virtual bool GetTokenResponse(const char* text, dcfByteArray& response) = 0;
  virtual bool GetCredentials(const char* prompt, char* userName, std::uint32_t userNameSize,
                              char* password, std::uint32_t passwordSize) = 0;
  // The verdict on the server's chain: 0 trusts it.
  virtual std::uint32_t ValidateServerChain(const DerCertificate* certificates,
                                            std::uint32_t count) = 0;
  // A new authentication began (EAP-Request/Identity answered): earlier keys are void.
  virtual void KeysInvalidated() = 0;
  // maxStart EAPOL-Starts went unanswered.
  virtual void NoAuthenticator() = 0;
  // The authentication succeeded: the method's keys may be taken now.
  virtual void SetMasterSessionKeys() = 0;
  // The authentication ended in HELD with this status word.
  virtual void AuthenticationFailed(std::uint32_t status) = 0;
  virtual bool CertificateText(const std::uint8_t hash[20], char* buffer, std::uint32_t size) = 0;
  virtual bool Sign(char selector, std::uint32_t keySize, const std::uint8_t certificateHash[20],
                    const std::uint8_t* digest, std::uint32_t digestLength, std::uint32_t request1,
                    std::uint32_t request2, std::uint8_t* out, std::uint32_t capacity,
                    std::uint32_t& outLength) = 0;

 protected:
  ~PaeServices() = default;
};
