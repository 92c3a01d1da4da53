#include "ksLib_OSSL/tls_library.h"

#include <mutex>

#include <openssl/rand.h>
#include <openssl/ssl.h>

#include <dcf/dcfMD5Stream.h>
#include <dcf/dcfWipe.h>

namespace {

// A mutex rather than a bare interlocked count: a second caller must not return before the
// first one has finished setting the library up. Never destroyed: the library's unload runs
// after the process has begun destroying its statics.
std::mutex& LifetimeLock() {
  static std::mutex* const lock = new std::mutex;
  return *lock;
}
std::int32_t g_references = 0;
bool g_setUp = false;  // false again after the last reference, or after a failed set-up

constexpr std::size_t kSeedBytes = 32;

bool SetUp() {
  if (OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS,
                       nullptr) != 1) {
    return false;
  }
  std::uint8_t seed[kSeedBytes];
  GetRandomBytes(seed, sizeof seed);
  TlsSeedRandom(seed, sizeof seed);
  dcfWipe(seed, sizeof seed);
  // Both roles must be available: make and free one context of each.
  for (const SSL_METHOD* method : {TLS_client_method(), TLS_server_method()}) {
    SSL_CTX* context = SSL_CTX_new(method);
    if (context == nullptr) return false;
    SSL_CTX_free(context);
  }
  return true;
}

}  // namespace

std::int32_t TlsLibraryInit() {
  std::lock_guard<std::mutex> hold(LifetimeLock());
  ++g_references;
  // Normally only the first reference sets up; after a failed set-up every later one tries
  // again, so that KSSTK_Initialize reports a library that is not usable.
  if (!g_setUp) g_setUp = SetUp();
  return g_setUp ? 0 : -1;
}

std::int32_t TlsLibraryCleanup() {
  std::lock_guard<std::mutex> hold(LifetimeLock());
  // An unmatched clean-up must not push the count below zero (the next first reference
  // would then never set up).
  if (g_references > 0 && --g_references == 0) g_setUp = false;
  return 0;
}

std::int32_t TlsSeedRandom(const void* bytes, std::size_t count) {
  const auto* cursor = static_cast<const std::uint8_t*>(bytes);
  while (cursor != nullptr && count > 0) {
    const int chunk = count > 1u << 20 ? 1 << 20 : static_cast<int>(count);
    RAND_seed(cursor, chunk);
    cursor += chunk;
    count -= static_cast<std::size_t>(chunk);
  }
  return 0;
}

std::int32_t TlsLibraryReferences() {
  std::lock_guard<std::mutex> hold(LifetimeLock());
  return g_references;
}
