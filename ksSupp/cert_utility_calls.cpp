#include "ksSupp/cert_utility_calls.h"

#include <dcf/dcfException.h>

namespace {

constexpr const char* kSource = "ksCertUtility";

}  // namespace

void CheckCertUtility(HRESULT result, const char* message, std::int32_t line) {
  if (!FAILED(result)) return;
  dcfRunTimeException failure(message);
  failure.SetCode(result);
  dcfThrowRunTimeException(failure, line, kSource);
}

void ExportCertificateDer(ksCert& cert, dcfByteArray& der) {
  constexpr std::uint32_t kFirstSize = 64;
  constexpr int kAttempts = 4;  // the size the library reports must fit the next try
  dcfByteArray buffer;
  buffer.Resize(kFirstSize);
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::uint32_t length = 0;
    const HRESULT result =
        cert.ExportCert(kCertExportDer, nullptr, 0, buffer.Data(), buffer.Length(), &length);
    CheckCertUtility(result, "error return from ExportCert call in certificate utility object",
                     __LINE__);
    if (result != S_OK) return;
    if (length <= buffer.Length()) {
      der.Assign(buffer.Data(), length);
      return;
    }
    buffer.Resize(length);
  }
}

dcfComPtr<ksCert> ChainCertificate(ksCertChain& chain, std::int32_t index) {
  ksCert* got = nullptr;
  const HRESULT result = chain.get_Cert(index, &got);
  dcfComPtr<ksCert> cert;
  cert.Attach(got);
  CheckCertUtility(result, "error return from get_Cert call in certificate utility object",
                   __LINE__);
  return cert;
}
