#pragma once
// Keeps the errors OpenSSL queues during one call of these services out of the thread's
// error queue: the TLS engine reads that queue after its own calls, and must not find a
// stale reason there from a certificate that failed to parse.
#include <openssl/err.h>

namespace capi::detail {

class OpenSslErrorScope {
public:
  OpenSslErrorScope() { ERR_set_mark(); }
  ~OpenSslErrorScope() { ERR_pop_to_mark(); }
  OpenSslErrorScope(const OpenSslErrorScope&) = delete;
  OpenSslErrorScope& operator=(const OpenSslErrorScope&) = delete;
};

}  // namespace capi::detail
