#include "ksLib_OSSL/tls_library.h"

#include <gtest/gtest.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>

// Initialisation and clean-up nest; only the first reference sets the library up, an
// unmatched clean-up cannot push the count below zero, and a later first reference sets it
// up again.
TEST(TlsLibrary, ReferencesNestAndSetUpAgainAfterTheLast) {
  const std::int32_t base = TlsLibraryReferences();
  ASSERT_EQ(base, 0);
  EXPECT_EQ(TlsLibraryInit(), 0);
  EXPECT_EQ(TlsLibraryInit(), 0);
  EXPECT_EQ(TlsLibraryReferences(), 2);
  EXPECT_EQ(TlsLibraryCleanup(), 0);
  EXPECT_EQ(TlsLibraryReferences(), 1);
  EXPECT_EQ(TlsLibraryCleanup(), 0);
  EXPECT_EQ(TlsLibraryCleanup(), 0);
  EXPECT_EQ(TlsLibraryReferences(), 0);

  EXPECT_EQ(TlsLibraryInit(), 0);
  EXPECT_EQ(TlsLibraryReferences(), 1);
  // The process-wide state was never torn down: the TLS engine still works.
  SSL_CTX* context = SSL_CTX_new(TLS_client_method());
  EXPECT_NE(context, nullptr);
  SSL_CTX_free(context);
  EXPECT_EQ(TlsLibraryCleanup(), 0);
}

TEST(TlsLibrary, SeedingAcceptsAnyBuffer) {
  const unsigned char bytes[32] = {1, 2, 3};
  EXPECT_EQ(TlsSeedRandom(bytes, sizeof bytes), 0);
  EXPECT_EQ(TlsSeedRandom(nullptr, 0), 0);
  EXPECT_EQ(RAND_status(), 1);
}
