// MS-CHAP-V2 (RFC 2759) as an EAP-TTLS inner protocol (RFC 5281 section 11.2.4): the
// response to the tunnel's 17 challenge bytes, the check of the server's proof in
// MS-CHAP2-Success, the mapping of MS-CHAP-Error, and one password change when the server
// says the password has expired.
#pragma once

#include "ksSupp/eap/ms_chap.h"
#include "ksSupp/eap/ttls_inner_protocol.h"

struct MsChapFailure;

class TtlsMsChapV2 : public TtlsInnerProtocol {
 public:
  enum State : std::uint32_t { kInitial = 0, kResponseSent = 1, kDone = 2 };

  explicit TtlsMsChapV2(EapMethodHostServices* host);
  ~TtlsMsChapV2() override;
  std::uint32_t ChallengeLength() const override { return 17; }
  const char* GetName() override { return "MS-CHAP-V2"; }
  std::uint32_t Process(const std::uint8_t* avps, std::uint32_t length, std::uint8_t* handled,
                        std::uint32_t handledCount, AvpWriter& writer) override;

  State state() const { return state_; }

 private:
  std::uint32_t SendResponse(AvpWriter& writer);
  std::uint32_t OnSuccess(const std::uint8_t* data, std::uint32_t length);
  std::uint32_t OnError(const std::uint8_t* data, std::uint32_t length, AvpWriter& writer);
  std::uint32_t ChangePassword(const MsChapFailure& failure, std::uint8_t identifier,
                               AvpWriter& writer);

  State state_ = kInitial;
  bool passwordChanged_ = false;
  std::uint8_t identifier_ = 0;
  // What the last response was computed from; the Success is checked against it.
  std::uint8_t ntHash_[kNtHashSize] = {};
  std::uint8_t authenticatorChallenge_[kMsChapV2ChallengeSize] = {};
  std::uint8_t peerChallenge_[kMsChapV2ChallengeSize] = {};
  std::uint8_t ntResponse_[kMsChapResponseSize] = {};
  SecureByteArray windowsUserName_;
};
