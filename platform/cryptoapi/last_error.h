#pragma once
// The thread's last error: a failing call of the certificate-store services leaves its reason
// here, as the Windows services do, for the callers that tell failures apart.
#include <cstdint>

namespace capi {

constexpr std::uint32_t ERROR_SUCCESS = 0;
constexpr std::uint32_t ERROR_FILE_NOT_FOUND = 2;
constexpr std::uint32_t ERROR_ACCESS_DENIED = 5;
constexpr std::uint32_t ERROR_INVALID_PARAMETER = 87;
constexpr std::uint32_t ERROR_MORE_DATA = 234;
constexpr std::uint32_t ERROR_WRITE_FAULT = 29;
// Nothing matched, or the certificate carries no such property.
constexpr std::uint32_t CRYPT_E_NOT_FOUND = 0x80092004u;
// The certificate has no private key beside it.
constexpr std::uint32_t CRYPT_E_NO_KEY_PROPERTY = 0x8009200Bu;
// Bytes that are not one well-formed DER certificate.
constexpr std::uint32_t CRYPT_E_ASN1_BADTAG = 0x8009310Bu;

std::uint32_t GetLastError();
void SetLastError(std::uint32_t error);

}  // namespace capi
