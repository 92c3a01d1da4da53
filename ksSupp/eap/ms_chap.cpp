#include "ksSupp/eap/ms_chap.h"

#include <dcf/dcfMD5Stream.h>
#include <dcf/dcfWipe.h>
#include <dcf/des.h>
#include <dcf/md4.h>
#include <dcf/rc4.h>
#include <dcf/sha1.h>
#include <openssl/crypto.h>
#include <strings/dcfUtf.h>

#include <cstring>

namespace {

constexpr char kServerSigningMagic[] = "Magic server to client signing constant";  // 39 bytes
constexpr char kServerPadMagic[] = "Pad to make it do more than one iteration";    // 41 bytes
constexpr std::size_t kPasswordFieldSize = 2 * kMaxPasswordUnits;                  // 512

std::uint32_t CountUnits(const char16_t* password) {
  std::uint32_t n = 0;
  if (password != nullptr) {
    while (n < kMaxPasswordUnits && password[n] != 0) ++n;
  }
  return n;
}

// The first n units as little-endian bytes.
void WriteUtf16Le(const char16_t* units, std::uint32_t n, std::uint8_t* out) {
  for (std::uint32_t i = 0; i < n; ++i) {
    out[2 * i] = static_cast<std::uint8_t>(units[i]);
    out[2 * i + 1] = static_cast<std::uint8_t>(units[i] >> 8);
  }
}

}  // namespace

MsChapPassword::~MsChapPassword() { dcfWipe(units_, sizeof units_); }

bool MsChapPassword::AssignUtf8(const char* password) {
  dcfWipe(units_, sizeof units_);
  length_ = 0;
  if (password == nullptr) return false;
  std::uint32_t written = 0;
  const std::uint32_t flags =
      Utf8ToUtf16Buffer(units_, kMaxPasswordUnits + 1, &written, password, -1, nullptr);
  if ((flags & kUtfInvalidInput) != 0) {
    dcfWipe(units_, sizeof units_);
    return false;
  }
  // A password longer than 256 units is cut there (kUtfOutputFull), as every peer does.
  length_ = written > 0 ? written - 1 : 0;  // the terminator is counted
  return true;
}

void NtPasswordHash(const char16_t* password, std::uint8_t hash[kNtHashSize]) {
  std::uint8_t bytes[kPasswordFieldSize];
  const std::uint32_t n = CountUnits(password);
  WriteUtf16Le(password, n, bytes);
  Md4Digest(hash, bytes, 2 * n);
  dcfWipe(bytes, sizeof bytes);
}

bool NtPasswordHashOfUtf8(const char* password, std::uint8_t hash[kNtHashSize]) {
  MsChapPassword units;
  if (!units.AssignUtf8(password)) return false;
  NtPasswordHash(units.Units(), hash);
  return true;
}

void LmPasswordHash(const char* password, std::uint8_t hash[kNtHashSize]) {
  static constexpr std::uint8_t kMagic[8] = {'K', 'G', 'S', '!', '@', '#', '$', '%'};
  std::uint8_t upper[14] = {};
  for (std::size_t i = 0; password != nullptr && i < sizeof upper && password[i] != '\0'; ++i) {
    const char c = password[i];
    upper[i] = static_cast<std::uint8_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  }
  DesKeySchedule schedule;
  for (std::size_t half = 0; half < 2; ++half) {
    DesSetKey7(upper + 7 * half, schedule, kDesEncrypt);
    DesEncryptBlock(kMagic, hash + 8 * half, schedule);
  }
  dcfWipe(upper, sizeof upper);
}

void PasswordHashHash(const std::uint8_t hash[kNtHashSize], std::uint8_t hashHash[kNtHashSize]) {
  Md4Digest(hashHash, hash, kNtHashSize);
}

void ChallengeResponse(const std::uint8_t challenge[kMsChapChallengeSize], const std::uint8_t* hash,
                       std::uint8_t response[kMsChapResponseSize]) {
  if (hash == nullptr) {
    std::memset(response, 0, kMsChapResponseSize);
    return;
  }
  std::uint8_t keys[21] = {};  // the hash and five zero bytes: three 7-byte DES keys
  std::memcpy(keys, hash, kNtHashSize);
  for (int i = 0; i < 3; ++i) {
    DesKeySchedule schedule;
    DesSetKey7(keys + 7 * i, schedule, kDesEncrypt);
    DesEncryptBlock(challenge, response + 8 * i, schedule);
  }
  dcfWipe(keys, sizeof keys);
}

void ChallengeHash(const std::uint8_t peerChallenge[kMsChapV2ChallengeSize],
                   const std::uint8_t authenticatorChallenge[kMsChapV2ChallengeSize],
                   const char* userName, std::uint8_t challenge[kMsChapChallengeSize]) {
  Sha1Context sha;
  Sha1Init(sha);
  Sha1Update(sha, peerChallenge, kMsChapV2ChallengeSize);
  Sha1Update(sha, authenticatorChallenge, kMsChapV2ChallengeSize);
  if (userName != nullptr) Sha1Update(sha, userName, std::strlen(userName));
  std::uint8_t digest[kSha1DigestSize];
  Sha1Final(digest, sha);
  std::memcpy(challenge, digest, kMsChapChallengeSize);
}

void GenerateNTResponse(const std::uint8_t authenticatorChallenge[kMsChapV2ChallengeSize],
                        const std::uint8_t peerChallenge[kMsChapV2ChallengeSize],
                        const char* userName, const std::uint8_t* ntHash,
                        std::uint8_t response[kMsChapResponseSize]) {
  std::uint8_t challenge[kMsChapChallengeSize];
  ChallengeHash(peerChallenge, authenticatorChallenge, userName, challenge);
  ChallengeResponse(challenge, ntHash, response);
}

void GenerateAuthenticatorResponse(
    const std::uint8_t hashHash[kNtHashSize], const std::uint8_t ntResponse[kMsChapResponseSize],
    const std::uint8_t peerChallenge[kMsChapV2ChallengeSize],
    const std::uint8_t authenticatorChallenge[kMsChapV2ChallengeSize], const char* userName,
    char out[kAuthenticatorResponseSize]) {
  std::uint8_t digest[kSha1DigestSize];
  Sha1Context sha;
  Sha1Init(sha);
  Sha1Update(sha, hashHash, kNtHashSize);
  Sha1Update(sha, ntResponse, kMsChapResponseSize);
  Sha1Update(sha, kServerSigningMagic, sizeof kServerSigningMagic - 1);
  Sha1Final(digest, sha);

  std::uint8_t challenge[kMsChapChallengeSize];
  ChallengeHash(peerChallenge, authenticatorChallenge, userName, challenge);
  Sha1Init(sha);
  Sha1Update(sha, digest, sizeof digest);
  Sha1Update(sha, challenge, sizeof challenge);
  Sha1Update(sha, kServerPadMagic, sizeof kServerPadMagic - 1);
  Sha1Final(digest, sha);

  static constexpr char kHex[] = "0123456789ABCDEF";
  out[0] = 'S';
  out[1] = '=';
  for (std::size_t i = 0; i < kSha1DigestSize; ++i) {
    out[2 + 2 * i] = kHex[digest[i] >> 4];
    out[3 + 2 * i] = kHex[digest[i] & 0x0F];
  }
  dcfWipe(digest, sizeof digest);
}

bool CheckAuthenticatorResponse(const std::uint8_t hashHash[kNtHashSize],
                                const std::uint8_t ntResponse[kMsChapResponseSize],
                                const std::uint8_t peerChallenge[kMsChapV2ChallengeSize],
                                const std::uint8_t authenticatorChallenge[kMsChapV2ChallengeSize],
                                const char* userName,
                                const std::uint8_t received[kAuthenticatorResponseSize]) {
  char expected[kAuthenticatorResponseSize];
  GenerateAuthenticatorResponse(hashHash, ntResponse, peerChallenge, authenticatorChallenge,
                                userName, expected);
  const bool same = CRYPTO_memcmp(expected, received, kAuthenticatorResponseSize) == 0;
  dcfWipe(expected, sizeof expected);
  return same;
}

void NewPasswordEncryptedWithOldNtPasswordHash(const char16_t* newPassword,
                                               const std::uint8_t oldHash[kNtHashSize],
                                               std::uint8_t block[kEncryptedPasswordSize]) {
  const std::uint32_t n = CountUnits(newPassword);
  const std::uint32_t passwordBytes = 2 * n;
  // The filler hides the password's length from anyone without the old hash.
  GetRandomBytes(block, kPasswordFieldSize - passwordBytes);
  WriteUtf16Le(newPassword, n, block + kPasswordFieldSize - passwordBytes);
  for (int i = 0; i < 4; ++i) {
    block[kPasswordFieldSize + i] = static_cast<std::uint8_t>(passwordBytes >> (8 * i));
  }
  Rc4State rc4;
  Rc4SetKey(rc4, kNtHashSize, oldHash);
  Rc4Crypt(rc4, kEncryptedPasswordSize, block, block);
}

void OldNtPasswordHashEncryptedWithNewNtPasswordHash(const std::uint8_t oldHash[kNtHashSize],
                                                     const std::uint8_t newHash[kNtHashSize],
                                                     std::uint8_t block[kEncryptedHashSize]) {
  for (int i = 0; i < 2; ++i) {
    DesKeySchedule schedule;
    DesSetKey7(newHash + 7 * i, schedule, kDesEncrypt);
    DesEncryptBlock(oldHash + 8 * i, block + 8 * i, schedule);
  }
}
