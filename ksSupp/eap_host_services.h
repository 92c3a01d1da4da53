// What the EAP method host asks of its owner (the PAE of a link, or the EAP-method handle):
// the owner turns each request into a host callback message of its own. Operations in slot
// order.
#pragma once

#include <cstdint>

#include "ksSupp/cert_list.h"

class dcfByteArray;

class EapHostServices {
 public:
  // The text of an EAP-Request/Notification (`length` bytes, not NUL-terminated).
  virtual void AppendNotification(const char* text, std::uint32_t length) = 0;
  // One EAP packet for the authenticator.
  virtual void TransmitResponse(const std::uint8_t* packet, std::uint32_t length) = 0;
  // The user's password (UTF-8, NUL-terminated) into buffer; false when none was given.
  virtual bool GetPassword(char* buffer, std::uint32_t size) = 0;
  // The answer to the server's challenge text (`length` bytes, not NUL-terminated).
  virtual bool GetTokenResponse(const char* text, std::uint32_t length, dcfByteArray& response) = 0;
  // Bytes that TTLS PAP sends in place of the password; false when there are none.
  virtual bool GetPapPassword(dcfByteArray& password) = 0;
  // A user name and a password, each NUL-terminated into its buffer.
  virtual bool GetCredentials(const char* prompt, char* userName, std::uint32_t userNameSize,
                              char* password, std::uint32_t passwordSize) = 0;
  virtual void Notice(std::uint32_t code) = 0;
  // The verdict on the server's chain: 0 trusts it.
  virtual std::uint32_t ValidateServerChain(const DerCertificate* certificates,
                                            std::uint32_t count) = 0;
  // Signs a digest with the client certificate's key ('r' RSA, 't' DSA): true with the
  // signature in out (*outLength bytes; 0 when the owner left it to the library).
  virtual bool Sign(char selector, std::uint32_t keySize, const std::uint8_t certificateHash[20],
                    const std::uint8_t* digest, std::uint32_t digestLength, std::uint32_t request1,
                    std::uint32_t request2, std::uint8_t* out, std::uint32_t capacity,
                    std::uint32_t& outLength) = 0;
  // The display text of a certificate, NUL-terminated into buffer.
  virtual bool CertificateText(const std::uint8_t hash[20], char* buffer, std::uint32_t size) = 0;
  virtual void MethodCompleted() = 0;

 protected:
  ~EapHostServices() = default;
};
