// The host of one EAP exchange: it owns the credentials the methods use (through its
// EapMethodHostServices) and hears what the runner passes on to its owner.
#pragma once

#include <dcf/RefCounted.h>

#include <cstdint>

#include "ksSupp/eap_method_host_services.h"

class EapMethodHost : public RefCounted {
 public:
  // The interface this host's methods hold.
  virtual EapMethodHostServices* Services() = 0;
  // The text of an EAP-Request/Notification (`length` bytes, not NUL-terminated), for the
  // owner to show or collect.
  virtual void AppendNotification(const char* text, std::uint32_t length) = 0;
};
