// EAP-MD5-Challenge (EAP type 4): one round, response MD5(identifier | password | challenge)
// as in RFC 1994's CHAP. No keys.
#pragma once

#include "ksSupp/eap/one_round_eap_method.h"

class EapMd5Challenge : public OneRoundEapMethod {
 public:
  explicit EapMd5Challenge(EapMethodHostServices* host);

  std::uint32_t Initialize() override;
  const char* GetName() override { return "EAP-MD5Challenge"; }

 private:
  std::uint32_t Answer(const Request& request) override;
};
