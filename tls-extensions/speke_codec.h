// The SPEKE (password-authenticated key exchange) additions of the older TLS engine, as
// codecs only: OpenSSL 3 has no way to add cipher suites, ClientHello bytes or handshake
// states, so the suites 0x8001-0x8003 are recorded and skipped by the cipher list and never
// negotiated. What is kept: the suite table, the ClientHello "speke" block (built and
// parsed), the group table, the identity PRF, the SpekeParams, EncryptedIdentity and
// ClientSpekeValue messages, and the state numbers. Failures return the TLS alert the
// engine would send (0: none).
#pragma once

#include <openssl/bn.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace speke {

using Bytes = std::vector<std::uint8_t>;

struct Suite {
  std::uint32_t id;  // 0x03008001 ...
  const char* name;
};
inline constexpr Suite kSuites[] = {
    {0x03008001, "SPEKE-RC4-SHA"},
    {0x03008002, "SPEKE-DES-CBC-SHA"},
    {0x03008003, "SPEKE-DES-CBC3-SHA"},
};

// Handshake message types. The last three follow the credential step, which the engine never
// passes (no SPEKE password is ever given to it): they have no codec.
inline constexpr std::uint8_t kSpekeParams = 128;
inline constexpr std::uint8_t kEncryptedIdentity = 129;
inline constexpr std::uint8_t kClientSpekeValue = 130;
inline constexpr std::uint8_t kServerSpekeValue = 131;
inline constexpr std::uint8_t kClientConfirm = 132;
inline constexpr std::uint8_t kServerConfirm = 133;

// Handshake states of the engine's client and server state machines.
enum State : std::uint32_t {
  kClientReadParams = 0x1F00,
  kClientReadParamsDone = 0x1F01,
  kClientCredential = 0x1F02,
  kClientCredentialDone = 0x1F03,
  kServerSendParams = 0x2F00,
  kServerSendParamsDone = 0x2F01,
  kServerReadIdentity = 0x2F02,
  kServerReadIdentityDone = 0x2F03,
  kServerReadValue = 0x2F04,
  kServerReadValueDone = 0x2F05,
  kServerCredential = 0x2F06,
  kServerCredentialDone = 0x2F07,
};
// The engine's rwstate at a credential step.
inline constexpr int kCredentialStop = 257;

// Alerts.
inline constexpr int kUnexpectedMessage = 10;
inline constexpr int kHandshakeFailure = 40;
inline constexpr int kAccessDenied = 49;
inline constexpr int kDecodeError = 50;
inline constexpr int kInternalError = 80;

// Identity protection modes.
inline constexpr std::uint8_t kModePlain = 0;
inline constexpr std::uint8_t kModeProtected = 1;

// A new big number of the group's prime from kSpekeGroupTable (RFC 2409 groups 1 and 2, RFC
// 3526 group 5); null for another id. The caller frees it.
BIGNUM* GroupPrime(std::uint32_t groupId);

// The block appended to the ClientHello after the compression methods: 5, "speke", a 16-bit
// length and a {1, group id} entry per group, the mode count and the modes. With no groups
// and no modes it is the nine bytes 05 "speke" 00 00 00.
Bytes BuildHelloBlock(const std::vector<std::uint32_t>& groups,
                      const std::vector<std::uint8_t>& modes);

struct HelloChoice {
  std::int32_t group = -1;  // -1: none (no block)
  std::int32_t mode = -1;
};
// The server's reading of the bytes after the compression methods, against its own group and
// mode lists: 0 with the choice (none when the block is absent), or the alert.
int ParseHelloBlock(const std::uint8_t* bytes, std::size_t length,
                    const std::vector<std::uint32_t>& serverGroups,
                    const std::vector<std::uint8_t>& serverModes, HelloChoice& choice);

struct Params {
  std::uint8_t group = 0;
  std::uint8_t mode = 0;
  Bytes prime;  // mode 1: the DH prime, generator and server public value
  Bytes generator;
  Bytes serverPublic;
};
// SpekeParams body.
Bytes BuildParams(const Params& params);
// The client's reading of a SpekeParams message (its type and body): 0, or the alert.
int ParseParams(std::uint8_t type, const std::uint8_t* body, std::size_t length, Params& params);

// TLS 1.0 PRF (P_MD5 xor P_SHA1) with seed = label, client random, server random.
bool IdentityPrf(const std::uint8_t* secret, std::size_t secretLength, const char* label,
                 const std::uint8_t clientRandom[32], const std::uint8_t serverRandom[32],
                 std::uint8_t* out, std::size_t length);

struct Randoms {
  std::uint8_t client[32];
  std::uint8_t server[32];
};
// EncryptedIdentity body in mode 1 (the client's side, which the system never sends): the
// client's DH public value, then the identity padded and MACed, encrypted under keys from
// the shared secret.
Bytes BuildProtectedIdentity(const Bytes& clientPublic, const Bytes& sharedSecret,
                             const Bytes& identity, const Randoms& randoms);
// The server's reading of an EncryptedIdentity: mode 0 plain; mode 1 with the shared
// secret computed by `sharedSecretOf` from the client's public value (empty on failure).
// 0 with the identity, or the alert.
int ParseIdentity(std::uint8_t type, const std::uint8_t* body, std::size_t length,
                  std::uint8_t mode, const Randoms& randoms,
                  Bytes (*sharedSecretOf)(const Bytes& clientPublic, void* argument),
                  void* argument, Bytes& identity);

// The server's reading of ClientSpekeValue: 0 when 1 < y < p - 1, else the alert.
int ParseClientValue(std::uint8_t type, const std::uint8_t* body, std::size_t length,
                     const BIGNUM* prime, Bytes& value);

}  // namespace speke
