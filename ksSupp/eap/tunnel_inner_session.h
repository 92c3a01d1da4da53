// The EAP runner inside a PEAP or TTLS tunnel: the identity's type list for that tunnel, and
// the inner methods only (MD5-Challenge, Generic Token Card, EAP-MS-CHAP-V2) in place of the
// outer ones. Each tunnel's runner is the factory of its inner methods: PeapInnerFactory,
// TtlsInnerFactory.
#pragma once

#include "ksSupp/eap/eap_session.h"

class TunnelInnerSession : public EapSession {
 public:
  // 4 MD5-Challenge, 6 Token Card (answering with the stored password only where the list
  // allows it), 26 EAP-MS-CHAP-V2; null for any other type.
  EapMethod* CreateMethod(std::uint32_t type) override;

 protected:
  // Over the host's type list for the tunnel (EAP type 25 PEAP or 21 TTLS); the host is not
  // owned and may be null (no type is allowed then).
  TunnelInnerSession(std::uint32_t tunnelType, EapMethodHost* host)
      : TunnelInnerSession(TypesOf(tunnelType, host), host) {}

 private:
  TunnelInnerSession(const EapTypeList* allowedTypes, EapMethodHost* host)
      : EapSession(allowedTypes, host), allowedTypes_(allowedTypes), host_(host) {}
  static const EapTypeList* TypesOf(std::uint32_t tunnelType, EapMethodHost* host);

  const EapTypeList* allowedTypes_;
  EapMethodHost* host_;
};

// The runner inside PEAP, over the identity's PEAP type list.
class PeapInnerFactory final : public TunnelInnerSession {
 public:
  explicit PeapInnerFactory(EapMethodHost* host);
};

// The runner of TTLS's inner EAP, over the identity's TTLS type list.
class TtlsInnerFactory final : public TunnelInnerSession {
 public:
  explicit TtlsInnerFactory(EapMethodHost* host);
};
