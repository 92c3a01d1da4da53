#include "ksSupp/eap/ms_chap_password_change.h"

#include <dcf/dcfMD5Stream.h>
#include <dcf/dcfWipe.h>

WipedString::~WipedString() {
  // The text's block holds Capacity() + 1 bytes.
  if (Capacity() > 0) dcfWipe(const_cast<char*>(CStr()), Capacity() + 1);
}

MsChapPasswordChange::~MsChapPasswordChange() { dcfWipe(this, sizeof *this); }

bool MsChapPasswordChange::Compute(const char* oldPassword, const char* newPassword,
                                   const std::uint8_t challenge[kMsChapV2ChallengeSize],
                                   const char* userName) {
  MsChapPassword oldUnits;
  MsChapPassword newUnits;
  if (!oldUnits.AssignUtf8(oldPassword) || !newUnits.AssignUtf8(newPassword)) return false;
  std::uint8_t oldHash[kNtHashSize];
  NtPasswordHash(oldUnits.Units(), oldHash);
  NtPasswordHash(newUnits.Units(), newHash);
  NewPasswordEncryptedWithOldNtPasswordHash(newUnits.Units(), oldHash, encryptedPassword);
  OldNtPasswordHashEncryptedWithNewNtPasswordHash(oldHash, newHash, encryptedHash);
  dcfWipe(oldHash, sizeof oldHash);
  GetRandomBytes(peerChallenge, sizeof peerChallenge);
  GenerateNTResponse(challenge, peerChallenge, userName, newHash, ntResponse);
  return true;
}
