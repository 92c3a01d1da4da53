// EAP-MS-CHAP-V2 (EAP type 26), the method PEAP and TTLS run inside their tunnels: answers
// the server's Challenge, verifies the authenticator response in its Success, acknowledges a
// Failure and, when the server says the password has expired, changes it with a
// Change-Password packet. No keys.
#pragma once

#include <collections/dcfByteArray.h>
#include <strings/dcfString.h>

#include "ksSupp/eap/eap_method.h"
#include "ksSupp/eap/ms_chap.h"

struct MsChapFailure;

class EapMsChapV2 : public EapMethod {
 public:
  enum State : std::uint32_t {
    kWaitingForChallenge = 1,
    kResponseSent = 2,
    kChangePasswordSent = 3,
    kSuccessAcknowledged = 4,
    kFailureAcknowledged = 5,
  };

  explicit EapMsChapV2(EapMethodHostServices* host);
  ~EapMsChapV2() override;

  std::uint32_t Initialize() override;
  std::uint32_t VerifyCompletion() override;
  const char* GetName() override { return "EAP-MS-CHAP-V2"; }
  bool GetKeys(std::uint8_t keys[kEapKeyBlockSize]) override;
  void SetAuthenticationResult(bool success) override;
  // A refused request leaves no response pending.
  std::uint32_t ReceiveEapRequest(const std::uint8_t* packet, std::uint32_t length) override;
  std::uint32_t GetEapResponse(std::uint8_t* buffer, std::uint32_t size,
                               std::uint32_t* length) override;
  bool SupportsKeys() override { return false; }

  State state() const { return state_; }

 private:
  std::uint32_t HandleRequest(const std::uint8_t* packet, std::uint32_t length);
  std::uint32_t OnChallenge(const std::uint8_t* data, std::uint16_t msLength);
  std::uint32_t OnSuccess(const std::uint8_t* data, std::uint16_t msLength);
  std::uint32_t OnFailure(const std::uint8_t* data, std::uint16_t msLength);
  std::uint32_t ChangePassword(const MsChapFailure& failure, std::uint8_t failureId);
  // The pending response: the EAP header, then `dataLength` bytes of type data to fill in.
  std::uint8_t* StartResponse(std::uint16_t dataLength);
  // The one-byte acknowledgement of a Success (3) or Failure (4).
  void Acknowledge(std::uint8_t opCode);

  State state_ = kWaitingForChallenge;
  std::uint32_t failureStatus_ = 0;
  std::uint8_t eapIdentifier_ = 0;
  std::uint8_t eapType_ = 0;
  std::uint8_t msChapId_ = 0;
  SecureByteArray response_;  // a Change-Password packet carries the encrypted password
  dcfString userName_;        // the Windows user name the computations use
  // What the last Response was computed from; the Success is checked against it.
  std::uint8_t ntHash_[kNtHashSize] = {};
  std::uint8_t authenticatorChallenge_[kMsChapV2ChallengeSize] = {};
  std::uint8_t peerChallenge_[kMsChapV2ChallengeSize] = {};
  std::uint8_t ntResponse_[kMsChapResponseSize] = {};
};
