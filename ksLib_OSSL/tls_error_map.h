#pragma once
// The TLS glue's own error codes for what the TLS engine reports: an OpenSSL error code (as
// ERR_get_error gives it) becomes one small code, and a failed chain verification is told
// apart by the connection's X.509 verify result.
#include <cstdint>

#include <openssl/ssl.h>

// Own codes (0 none; 2 out of memory; 39 any other failure).
enum TlsErrorCode : std::uint32_t {
  kTlsErrorNone = 0,
  kTlsErrorOutOfMemory = 2,
  kTlsErrorBigNumber = 40,
  kTlsErrorRsa = 41,
  kTlsErrorDsa = 42,
  kTlsErrorDh = 43,
  kTlsErrorAsn1 = 44,
  kTlsErrorPem = 45,
  kTlsErrorX509 = 46,
  kTlsErrorEvp = 47,
  kTlsErrorUnexpectedMessage = 48,
  kTlsErrorBadMac = 49,
  kTlsErrorOther = 39,
  kTlsErrorCertificateMissing = 51,
  kTlsErrorMalformedMessage = 52,
  kTlsErrorBadSignature = 53,
  kTlsErrorSessionCipher = 55,
  kTlsErrorNoCiphers = 56,
  kTlsErrorNoSharedCipher = 57,
  kTlsErrorWrongVersion = 58,
  kTlsErrorRecordTooLong = 59,
  kTlsErrorKeyExchange = 60,
  kTlsErrorBadPadding = 62,
  kTlsErrorServerCertificateRevoked = 63,
  kTlsErrorServerCertificateNotYetValid = 64,
  kTlsErrorServerCertificateExpired = 65,
  kTlsErrorServerChainIncomplete = 66,
  kTlsErrorRevocationUnknown = 67,
  kTlsErrorApplicationRefused = 68,
  kTlsErrorServerCertificateUntrusted = 69,
  kTlsErrorServerCertificateUnreadable = 50,
};

// The own code of one OpenSSL error code; `connection` (may be null) gives the verify
// result when the error is a failed certificate verification.
std::uint32_t MapTlsError(unsigned long errorCode, const SSL* connection);

// The own code of an X.509 verify result.
std::uint32_t MapVerifyResult(long verifyResult);
