#pragma once
// The private key kept with the user's certificate in its certificate store, handed to a
// TLS context. OpenSSL 3 offers no public hook to sign the client's CertificateVerify
// outside the engine, so the engine signs with the key itself.
#include <cstdint>

class TlsContext;

enum class UserKeyLocation { kCurrentUser, kLocalMachine };

// Finds the certificate with the SHA-1 hash in the location's "my" store and gives its key
// (which must match it) to the context; false when there is no usable key.
bool LoadUserPrivateKey(UserKeyLocation location, const std::uint8_t hash[20],
                        TlsContext& context);
