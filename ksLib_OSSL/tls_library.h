#pragma once
// Lifetime of the TLS library inside the supplicant: a reference-counted set-up taken by the
// library's load and by every KSSTK_Initialize, and the seeding of the TLS random generator.
//
// OpenSSL 3 locks and cleans up its own per-thread state, so no locking callbacks are
// installed; and its process-wide clean-up is never run, because it is final for the whole
// process and a host may use OpenSSL too. The last reference going only marks the library
// as not set up; the next first reference sets it up (and seeds it) again.
#include <cstddef>
#include <cstdint>

// Takes one reference; the call that takes the first one sets the library up and seeds its
// generator with 32 bytes of the library's random source. 0, or -1 when the library is not
// set up (the reference is taken all the same and is dropped by TlsLibraryCleanup; a later
// reference tries the set-up again).
std::int32_t TlsLibraryInit();

// Drops one reference; 0.
std::int32_t TlsLibraryCleanup();

// Adds the bytes to the TLS library's random pool; 0.
std::int32_t TlsSeedRandom(const void* bytes, std::size_t count);

// The number of references held now (for diagnostics and tests).
std::int32_t TlsLibraryReferences();
