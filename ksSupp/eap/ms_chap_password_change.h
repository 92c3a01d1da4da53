// What an MS-CHAP-V2 password change sends (RFC 2759 section 8.7-8.9), from the old and new
// passwords the user typed: the new password encrypted with the old hash, the old hash
// encrypted with the new one, and a fresh NT-Response to the server's new challenge.
// EAP-MS-CHAP-V2 puts them into its Change-Password packet, TTLS into its AVPs.
#pragma once

#include <strings/dcfString.h>

#include <cstdint>

#include "ksSupp/eap/ms_chap.h"

// A dcfString whose text is wiped before it goes (dcfString itself does not wipe): for the
// passwords a change prompts for.
class WipedString : public dcfString {
 public:
  WipedString() = default;
  ~WipedString() override;
};

struct MsChapPasswordChange {
  std::uint8_t newHash[kNtHashSize];
  std::uint8_t peerChallenge[kMsChapV2ChallengeSize];  // fresh random bytes
  std::uint8_t ntResponse[kMsChapResponseSize];        // to the new challenge, under the new hash
  std::uint8_t encryptedPassword[kEncryptedPasswordSize];
  std::uint8_t encryptedHash[kEncryptedHashSize];

  MsChapPasswordChange() = default;
  MsChapPasswordChange(const MsChapPasswordChange&) = delete;
  MsChapPasswordChange& operator=(const MsChapPasswordChange&) = delete;
  ~MsChapPasswordChange();

  // `challenge` is the server's new authenticator challenge, `userName` the Windows user
  // name. False when either password is not valid UTF-8: its hash would cover only what
  // comes before the first invalid byte, and the server would store a password the user
  // never typed.
  bool Compute(const char* oldPassword, const char* newPassword,
               const std::uint8_t challenge[kMsChapV2ChallengeSize], const char* userName);
};
