#pragma once
// The RADIUS hashes (RFC 2865, RFC 3579) and the MS-MPPE key decryption (RFC 2548), on
// OpenSSL: MD5 through EVP_Digest, HMAC-MD5 through EVP_MAC.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "sim/air/radius_attributes.h"

namespace simair {

using Md5Digest = std::array<std::uint8_t, 16>;

// MD5 of the parts one after another.
Md5Digest Md5Of(std::initializer_list<std::span<const std::uint8_t>> parts);

// HMAC-MD5 under the shared secret.
Md5Digest HmacMd5Of(std::string_view secret, std::span<const std::uint8_t> data);

// The plain key of an MS-MPPE-Send-Key or -Recv-Key value (Salt, then the encrypted key
// length, key and padding), decrypted with the shared secret and the Request Authenticator
// of the Access-Request it answers; nullopt when the salt's high bit is clear, the
// encrypted part is not a non-empty multiple of 16, or the key length does not fit.
std::optional<RadiusBytes> DecryptMppeKey(std::string_view secret,
                                          std::span<const std::uint8_t, 16> requestAuthenticator,
                                          std::span<const std::uint8_t> value);

// Overwrites a buffer that held a key.
void WipeBytes(std::span<std::uint8_t> bytes);

}  // namespace simair
