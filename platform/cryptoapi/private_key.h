#pragma once
// Private keys kept with certificates. In a system store the key of certificate <HASH> is the
// file <HASH>.key beside it: PKCS#8 DER, readable by its owner only (a key file that anyone
// else may read or write, or that belongs to another user, is not used). A memory store, or
// a context in no store, keeps the key in memory with the certificate.
#include <openssl/evp.h>

#include <cstdint>

#include "platform/cryptoapi/handles.h"

namespace capi {

struct KeyProvider;
using HCRYPTPROV = KeyProvider*;

constexpr std::uint32_t CRYPT_ACQUIRE_COMPARE_KEY_FLAG = 0x4;
constexpr std::uint32_t AT_KEYEXCHANGE = 1;
constexpr std::uint32_t AT_SIGNATURE = 2;
// The key file is there but may not be used (a link, another user's, open to others).
constexpr std::uint32_t NTE_PERM = 0x80090010u;
// The key does not belong to the certificate's public key.
constexpr std::uint32_t NTE_BAD_PUBLIC_KEY = 0x80090015u;

// The certificate's private key as a provider that the caller releases with
// CryptReleaseContext (*callerMustFree is always true here); *keySpec is AT_KEYEXCHANGE for
// RSA keys, AT_SIGNATURE for others. With CRYPT_ACQUIRE_COMPARE_KEY_FLAG the key must match
// the certificate (NTE_BAD_PUBLIC_KEY otherwise). Fails with NTE_PERM when the key file is
// refused for its mode, owner or being a link, and CRYPT_E_NO_KEY_PROPERTY when there is no
// usable key otherwise.
bool CryptAcquireCertificatePrivateKey(PCCERT_CONTEXT context, std::uint32_t flags,
                                       HCRYPTPROV* provider, std::uint32_t* keySpec,
                                       bool* callerMustFree);
bool CryptReleaseContext(HCRYPTPROV provider, std::uint32_t flags);

// The provider's key, for the signing and decryption the provider offers.
const EVP_PKEY* ProviderKey(HCRYPTPROV provider);

// Keeps a private key (PKCS#8 DER, exactly `length` bytes) with the context's certificate:
// in its store's key file (mode 0600), or in memory. Fails (CRYPT_E_ASN1_BADTAG) for bytes
// that are not one PKCS#8 key. The bytes are the caller's; nothing here keeps a copy of
// them beyond the file and the decoded key.
bool CertSetPrivateKey(PCCERT_CONTEXT context, const std::uint8_t* pkcs8, std::uint32_t length);

}  // namespace capi
