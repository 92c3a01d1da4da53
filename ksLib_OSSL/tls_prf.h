#pragma once
// Key material from the TLS session of an OpenSslEapTlsPeer: the EAP-TLS family's keys and
// challenges ("client EAP encryption", "ttls keying material", "ttls challenge").
//
// For TLS 1.0 and 1.1 it is the TLS 1.0 PRF (P_MD5 xor P_SHA1 over the two halves of the
// master secret) with seed = label || client random || server random. A TLS 1.2 session
// derives with its own PRF (SHA-256), as EAP-TLS servers do, through the engine's keying
// material export; the TLS 1.0 PRF there would give keys the server does not have.
#include <cstddef>
#include <cstdint>

class OpenSslEapTlsPeer;

inline constexpr std::size_t kTlsPrfMaxLabel = 256;

// `length` bytes for the zero-terminated label into out; 0, or -1 when the label is longer
// than 256 characters (out untouched) or the peer has no finished handshake.
std::int32_t TlsPrf(const OpenSslEapTlsPeer& peer, const char* label, std::uint8_t* out,
                    std::uint32_t length);

// The TLS 1.0 PRF itself: P_MD5(first half of secret, seed) xor P_SHA1(second half, seed);
// for an odd length both halves take the middle byte.
void TlsPrfCore(const std::uint8_t* secret, std::size_t secretLength, const std::uint8_t* seed,
                std::size_t seedLength, std::uint8_t* out, std::size_t length);
