// What MD5-Challenge and Token Card share: each Request is checked, answered at once into one
// pending response, and no keys come out.
#pragma once

#include <collections/dcfByteArray.h>

#include "ksSupp/eap/eap_method.h"

class OneRoundEapMethod : public EapMethod {
 public:
  bool GetKeys(std::uint8_t keys[kEapKeyBlockSize]) override;
  void SetAuthenticationResult(bool success) override;
  // Any earlier response is dropped first, so a refused request leaves nothing to send.
  std::uint32_t ReceiveEapRequest(const std::uint8_t* packet, std::uint32_t length) final;
  std::uint32_t GetEapResponse(std::uint8_t* buffer, std::uint32_t size,
                               std::uint32_t* length) final;
  bool SupportsKeys() override { return false; }

 protected:
  OneRoundEapMethod(EapMethodHostServices* host, std::uint32_t statusBase);

  struct Request {
    std::uint8_t identifier;
    std::uint8_t type;
    const std::uint8_t* data;  // the type data, within the EAP length
    std::uint32_t dataLength;
  };
  // Answers a well-formed Request: 0 with the response pending, or a status.
  virtual std::uint32_t Answer(const Request& request) = 0;
  // Makes the pending response the Response header for `request` followed by room for
  // `dataLength` bytes, and returns where they go.
  std::uint8_t* StartResponse(const Request& request, std::uint16_t dataLength);

 private:
  SecureByteArray response_;  // a Token Card response may hold the password
};
