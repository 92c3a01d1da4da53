// The EAP runner inside a PEAP or TTLS tunnel: the identity's type list for that tunnel, and
// the inner methods only (MD5-Challenge, Generic Token Card, EAP-MS-CHAP-V2) in place of the
// outer ones.
#pragma once

#include "ksSupp/eap/eap_session.h"

class TunnelInnerSession : public EapSession {
 public:
  // Neither argument is owned; a null list allows no type.
  TunnelInnerSession(const EapTypeList* allowedTypes, EapMethodHost* host)
      : EapSession(allowedTypes, host), allowedTypes_(allowedTypes), host_(host) {}

  // 4 MD5-Challenge, 6 Token Card (answering with the stored password only where the list
  // allows it), 26 EAP-MS-CHAP-V2; null for any other type.
  EapMethod* CreateMethod(std::uint32_t type) override;

 private:
  const EapTypeList* allowedTypes_;
  EapMethodHost* host_;
};
