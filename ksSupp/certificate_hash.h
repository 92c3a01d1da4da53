#pragma once
// The SHA-1 hash of a certificate object, as the certificate library reports it.
#include <cstdint>

#include "inc/ksCertUtility.h"

// True with the 20-byte hash only when the library answers S_OK with exactly 20 bytes; a
// buffer the library reports too small is enlarged and the call repeated. Any other success
// (S_FALSE is also the library's "caught a failure") or length means the certificate has no
// hash. A failure code is thrown as dcfRunTimeException with that HRESULT.
bool ReadCertificateHash(ksCert& cert, std::uint8_t (&hash)[20]);
