#include "ksSupp/certificate_hash.h"

#include <cstring>

#include <collections/dcfByteArray.h>
#include <dcf/dcfException.h>

namespace {
constexpr std::int32_t kGetHashFailureLine = 138;
constexpr const char* kSource = "..\\..\\..\\inc\\ksCertUtility";
constexpr int kAttempts = 4;  // a size the library reports must fit the next try
}  // namespace

bool ReadCertificateHash(ksCert& cert, std::uint8_t (&hash)[20]) {
  dcfByteArray buffer;
  buffer.Resize(sizeof hash);
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::uint32_t length = 0;
    const HRESULT result = cert.get_Hash(buffer.Data(), buffer.Length(), &length);
    if (FAILED(result)) {
      dcfRunTimeException failure("error return from get_Hash call in certificate utility object");
      failure.SetCode(result);
      dcfThrowRunTimeException(failure, kGetHashFailureLine, kSource);
    }
    if (result != S_OK) return false;
    if (length > buffer.Length()) {
      buffer.Resize(length);
      continue;
    }
    if (length != sizeof hash) return false;
    std::memcpy(hash, buffer.Data(), sizeof hash);
    return true;
  }
  return false;
}
