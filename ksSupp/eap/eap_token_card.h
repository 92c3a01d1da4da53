// EAP Generic Token Card (EAP type 6): the server's prompt is answered by the user, or, once,
// by the stored password when the conversation allows it (inside PEAP). No keys.
#pragma once

#include "ksSupp/eap/one_round_eap_method.h"

class EapTokenCard : public OneRoundEapMethod {
 public:
  // promptOnly: every request goes to the user. When false, the first request is answered
  // with the identity's stored password, if it has one.
  EapTokenCard(EapMethodHostServices* host, bool promptOnly);

  std::uint32_t Initialize() override { return 0; }
  const char* GetName() override { return "EAP-TokenCard"; }

 private:
  std::uint32_t Answer(const Request& request) override;

  bool promptOnly_;
};
