// The host of one EAP exchange: it owns the credentials the methods use (through its
// EapMethodHostServices) and hears what the runner passes on to its owner.
#pragma once

#include <dcf/RefCounted.h>

#include <cstdint>

#include "ksSupp/eap_method_host_services.h"

class EapTlsPeer;
struct EapTypeList;

class EapMethodHost : public RefCounted {
 public:
  // A TLS peer for a method of the TLS family (EAP type 13, 21 or 25) on the identity's
  // TLS context with or without the user's certificate, set up for this host: 0 with *peer
  // (one reference), the credential's status when its context could not be built, or
  // 0x6000 when no peer could be made. A host without TLS credentials makes none.
  virtual std::uint32_t CreateTlsPeer(std::uint32_t eapType, bool withCertificate,
                                      EapTlsPeer** peer);
  // The identity's types for the EAP conversation inside a tunnel (EAP type 21 TTLS or 25
  // PEAP); null when there are none.
  virtual const EapTypeList* InnerEapTypes(std::uint32_t tunnelType);
  // The identity's TTLS inner protocol (1 PAP ... 7 PAP with a token); 0 when none is set.
  virtual std::uint32_t GetTtlsInnerAuthProtocol() const;
  // The interface this host's methods hold.
  virtual EapMethodHostServices* Services() = 0;
  // The text of an EAP-Request/Notification (`length` bytes, not NUL-terminated), for the
  // owner to show or collect.
  virtual void AppendNotification(const char* text, std::uint32_t length) = 0;
};
