#include "ksSupp/eap/ms_chap_failure.h"

#include <dcf/dcfBytes.h>

#include "ksSupp/eap/eap_status.h"

namespace {

// Digits at `at` as a decimal number; false when it would not fit 32 bits. No digit
// reads as 0.
bool ReadDecimal(const char*& at, std::uint32_t& value) {
  std::uint64_t number = 0;
  for (; *at >= '0' && *at <= '9'; ++at) {
    number = number * 10 + static_cast<std::uint32_t>(*at - '0');
    if (number > UINT32_MAX) return false;
  }
  value = static_cast<std::uint32_t>(number);
  return true;
}

}  // namespace

bool ParseMsChapFailure(const char* text, std::uint32_t length, MsChapFailure& failure) {
  failure = MsChapFailure{};
  const dcfString copy(text, text != nullptr ? static_cast<std::int32_t>(length) : 0);
  const char* at = copy.CStr();
  for (;;) {
    while (*at == ' ') ++at;
    const char field = *at;
    if (field == 0) return true;
    if (at[1] != '=') return false;
    at += 2;
    switch (field) {
      case 'C':
        failure.challengeLength =
            HexToBytes(failure.challenge, kMsChapFailureChallengeMax, at, &at);
        break;
      case 'E':
        if (!ReadDecimal(at, failure.error)) return false;
        break;
      case 'R':
        if (!ReadDecimal(at, failure.retry)) return false;
        break;
      case 'V':
        if (!ReadDecimal(at, failure.version)) return false;
        break;
      case 'M':
        failure.message.Assign(at);
        return true;
      default:
        return false;
    }
  }
}

std::uint32_t MsChapFailureStatusClass(std::uint32_t error) {
  switch (error) {
    case kMsChapErrorRestrictedLogonHours:
      return kEapLogonHours;
    case kMsChapErrorAccountDisabled:
      return kEapAccountDisabled;
    case kMsChapErrorPasswordExpired:
    case kMsChapErrorChangingPassword:
      return kEapPasswordChangeFailed;
    case kMsChapErrorNoDialinPermission:
      return kEapNoDialIn;
    default:
      return kEapRejected;
  }
}
