// The text of an MS-CHAP failure ("E=691 R=0 C=<hex> V=3 M=<message>", RFC 2759 section 6):
// the error code, whether a retry is allowed, the new challenge, the protocol version and the
// message for the user.
#pragma once

#include <strings/dcfString.h>

#include <cstdint>

// MS-CHAP error codes the methods map to their own statuses.
inline constexpr std::uint32_t kMsChapErrorRestrictedLogonHours = 646;
inline constexpr std::uint32_t kMsChapErrorAccountDisabled = 647;
inline constexpr std::uint32_t kMsChapErrorPasswordExpired = 648;
inline constexpr std::uint32_t kMsChapErrorNoDialinPermission = 649;
inline constexpr std::uint32_t kMsChapErrorAuthenticationFailure = 691;
inline constexpr std::uint32_t kMsChapErrorChangingPassword = 709;

inline constexpr std::uint32_t kMsChapFailureChallengeMax = 128;

// The status class an error code maps to: 646 logon hours, 647 account disabled, 648 and 709
// password change failed, 649 no dial-in permission, anything else rejected.
std::uint32_t MsChapFailureStatusClass(std::uint32_t error);

struct MsChapFailure {
  std::uint32_t error = 0;                                  // E=
  std::uint32_t retry = 0;                                  // R=
  std::uint32_t version = 1;                                // V=
  std::uint8_t challenge[kMsChapFailureChallengeMax] = {};  // C=, hex-decoded
  std::uint32_t challengeLength = 0;
  dcfString message;  // M=, the rest of the text
};

// Reads the fields, separated by spaces, M last; a field that is not given keeps its
// default. False when the text is malformed: a field letter other than C, E, R, V, M, a
// letter without '=', or a number that does not fit 32 bits. The text ends at `length` or
// at a NUL byte, whichever comes first.
bool ParseMsChapFailure(const char* text, std::uint32_t length, MsChapFailure& failure);
