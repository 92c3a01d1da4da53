#pragma once
// The files of a directory store. Certificate <HASH>.der holds the DER bytes; <HASH> is the
// SHA-1 of those bytes in hexadecimal (upper case when written, either case when read).
// Beside it, <HASH>.friendly-name holds the friendly name as UTF-8 text. A file whose name
// is not a hash, or whose bytes do not hash to its name, is not part of the store.
// <HASH>.key holds the certificate's private key (PKCS#8 DER, mode 0600).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/cryptoapi/stored_certificate.h"

namespace capi::detail {

std::string HashToHex(const std::uint8_t sha1[kSha1HashSize]);

// The SHA-1 hashes (upper-case hex) of the store's certificate files, sorted. A missing
// directory is an empty store.
std::vector<std::string> ListCertificateHashes(const std::string& directory);

// The certificate filed under the hash (upper-case hex) with its friendly name; null when
// there is none, or its file is unreadable, too large, not a certificate or not that hash.
std::shared_ptr<StoredCertificate> LoadCertificate(const std::string& directory,
                                                   const std::string& hexHash);

// Files the certificate (DER, friendly name, key when it has one in memory), creating the store's directory (mode 0700)
// when it is missing. Each file is replaced whole, never left half written.
bool SaveCertificate(const std::string& directory, StoredCertificate& certificate);

// Writes (or, with nullopt, removes) the friendly-name file of a filed certificate.
bool SaveFriendlyName(const std::string& directory, const std::uint8_t sha1[kSha1HashSize],
                      const std::optional<std::u16string>& friendlyName);

// Writes the key file of a filed certificate (mode 0600).
bool SaveKey(const std::string& directory, const std::uint8_t sha1[kSha1HashSize], const EVP_PKEY& key);

// The key of a filed certificate; null when there is no key file, or it is not a regular
// file owned by this user and closed to everyone else (*refused then, and traced with the
// file's name and the reason), or not one PKCS#8 key.
PrivateKey LoadKey(const std::string& directory, const std::uint8_t sha1[kSha1HashSize],
                   bool* refused = nullptr);

// Removes the certificate's files; false when it was not filed or cannot be removed.
bool RemoveCertificate(const std::string& directory, const std::uint8_t sha1[kSha1HashSize]);

}  // namespace capi::detail
