#pragma once
// Calls into the certificate library that the context's chain and credential work share:
// a failure code of the library becomes a dcfRunTimeException (source "ksCertUtility"),
// and a certificate's DER bytes are exported into a growing buffer.
#include <cstdint>

#include <collections/dcfByteArray.h>
#include <dcf/dcfComPtr.h>

#include "inc/ksCertUtility.h"

// Throws dcfRunTimeException with the library's code and `message` when `result` is a
// failure code; success codes (S_FALSE included) return.
void CheckCertUtility(HRESULT result, const char* message, std::int32_t line);

// S_OK with VARIANT_TRUE.
inline bool CertUtilityAccepted(HRESULT result, VARIANT_BOOL accepted) {
  return result == S_OK && accepted == VARIANT_TRUE;
}

// The DER bytes of a certificate into der; a success code other than S_OK leaves it empty.
void ExportCertificateDer(ksCert& cert, dcfByteArray& der);

// The chain's certificate at index (null when the chain has none there); a failure code
// is thrown as by CheckCertUtility.
dcfComPtr<ksCert> ChainCertificate(ksCertChain& chain, std::int32_t index);
