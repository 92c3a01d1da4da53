// The MS-CHAP (RFC 2433) and MS-CHAP-V2 (RFC 2759) computations that EAP-MS-CHAP-V2, LEAP
// and the TTLS inner protocols share: password hashes, challenge responses, the server's
// authenticator response and the password-change blocks. Free functions over byte buffers;
// callers keep secrets in wiped storage.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kNtHashSize = 16;
inline constexpr std::size_t kMsChapChallengeSize = 8;     // the challenge DES encrypts
inline constexpr std::size_t kMsChapV2ChallengeSize = 16;  // authenticator and peer challenges
inline constexpr std::size_t kMsChapResponseSize = 24;
inline constexpr std::size_t kAuthenticatorResponseSize = 42;  // "S=" and 40 hex digits
// Passwords are cut to this many UTF-16 units for every hash.
inline constexpr std::size_t kMaxPasswordUnits = 256;
inline constexpr std::size_t kEncryptedPasswordSize = 516;
inline constexpr std::size_t kEncryptedHashSize = 16;

// A password as UTF-16 units (at most 256, then a 0), wiped when it goes.
class MsChapPassword {
 public:
  MsChapPassword() = default;
  MsChapPassword(const MsChapPassword&) = delete;
  MsChapPassword& operator=(const MsChapPassword&) = delete;
  ~MsChapPassword();

  // The UTF-16 form of a NUL-terminated UTF-8 password, cut to 256 units. False, and empty,
  // for a null password or one that is not valid UTF-8: converting it would silently drop
  // everything from the first invalid byte on. Encoded surrogates (ED A0..BF xx) are taken
  // as the units they encode.
  bool AssignUtf8(const char* password);

  const char16_t* Units() const { return units_; }  // NUL-terminated
  std::uint32_t Length() const { return length_; }

 private:
  char16_t units_[kMaxPasswordUnits + 1] = {};
  std::uint32_t length_ = 0;
};

// MD4 over the password's UTF-16LE units (terminator excluded, at most 256 units).
void NtPasswordHash(const char16_t* password, std::uint8_t hash[kNtHashSize]);
// NtPasswordHash of a UTF-8 password; false (hash untouched) when AssignUtf8 refuses it.
bool NtPasswordHashOfUtf8(const char* password, std::uint8_t hash[kNtHashSize]);
// LmPasswordHash: the first 14 bytes of the password with a-z upper-cased, zero-padded, as
// two DES keys over "KGS!@#$%". Only ASCII letters change case.
void LmPasswordHash(const char* password, std::uint8_t hash[kNtHashSize]);
// MD4 of the NT hash.
void PasswordHashHash(const std::uint8_t hash[kNtHashSize], std::uint8_t hashHash[kNtHashSize]);

// The 16-byte hash padded to 21 bytes keys three DES encryptions of the challenge. A null
// hash gives 24 zero bytes.
void ChallengeResponse(const std::uint8_t challenge[kMsChapChallengeSize], const std::uint8_t* hash,
                       std::uint8_t response[kMsChapResponseSize]);
// The first 8 bytes of SHA-1(peer challenge | authenticator challenge | user name).
void ChallengeHash(const std::uint8_t peerChallenge[kMsChapV2ChallengeSize],
                   const std::uint8_t authenticatorChallenge[kMsChapV2ChallengeSize],
                   const char* userName, std::uint8_t challenge[kMsChapChallengeSize]);
// The MS-CHAP-V2 NT-Response; `userName` is the Windows user name without domain. A null
// hash gives 24 zero bytes.
void GenerateNTResponse(const std::uint8_t authenticatorChallenge[kMsChapV2ChallengeSize],
                        const std::uint8_t peerChallenge[kMsChapV2ChallengeSize],
                        const char* userName, const std::uint8_t* ntHash,
                        std::uint8_t response[kMsChapResponseSize]);
// The server's proof: "S=" and 40 upper-case hex digits (not NUL-terminated).
void GenerateAuthenticatorResponse(
    const std::uint8_t hashHash[kNtHashSize], const std::uint8_t ntResponse[kMsChapResponseSize],
    const std::uint8_t peerChallenge[kMsChapV2ChallengeSize],
    const std::uint8_t authenticatorChallenge[kMsChapV2ChallengeSize], const char* userName,
    char out[kAuthenticatorResponseSize]);
// True when the 42 received bytes are exactly the expected proof (case matters).
bool CheckAuthenticatorResponse(const std::uint8_t hashHash[kNtHashSize],
                                const std::uint8_t ntResponse[kMsChapResponseSize],
                                const std::uint8_t peerChallenge[kMsChapV2ChallengeSize],
                                const std::uint8_t authenticatorChallenge[kMsChapV2ChallengeSize],
                                const char* userName,
                                const std::uint8_t received[kAuthenticatorResponseSize]);

// The 516-byte block of a password change: random filler, the new password's n units
// right-aligned in the first 512 bytes, 2n as a little-endian u32; RC4 under the old hash.
void NewPasswordEncryptedWithOldNtPasswordHash(const char16_t* newPassword,
                                               const std::uint8_t oldHash[kNtHashSize],
                                               std::uint8_t block[kEncryptedPasswordSize]);
// Each half of the old hash DES-encrypted under a 7-byte slice of the new hash.
void OldNtPasswordHashEncryptedWithNewNtPasswordHash(const std::uint8_t oldHash[kNtHashSize],
                                                     const std::uint8_t newHash[kNtHashSize],
                                                     std::uint8_t block[kEncryptedHashSize]);
