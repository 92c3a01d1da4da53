// Loading and unloading libpentrel.so: what process attach and detach do for a Windows DLL.
// Loading takes the first reference on the TLS library set-up, so that it is in place before
// any export runs; unloading drops it. OpenSSL 3 frees the per-thread state of a thread by
// itself when the thread ends, so nothing stands in for thread detach.
#include "ksLib_OSSL/tls_library.h"
#include "ksSupp/trace.h"

namespace {

__attribute__((constructor)) void LibraryLoaded() noexcept {
  ConnectTraceSources();
  try {
    TlsLibraryInit();
  } catch (...) {
    // KSSTK_Initialize tries a failed set-up again and reports it; loading never fails.
  }
}

__attribute__((destructor)) void LibraryUnloading() noexcept { TlsLibraryCleanup(); }

}  // namespace
