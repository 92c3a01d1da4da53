#include "driver/core/tkip_countermeasures.h"

#include <cstring>

#include "driver/core/core_adapter.h"
#include "driver/core/frame_builders.h"
#include "driver/core/little_endian.h"
#include "driver/core/station_seams.h"

namespace zelnic::core {
namespace {

constexpr std::uint32_t kStatusTypeAuthentication = 0;
constexpr std::uint32_t kRequestLength = 16;
constexpr std::uint32_t kFlagsPairwiseError = 6;
constexpr std::uint32_t kFlagsGroupError = 14;

enum : std::uint8_t { kIdle = 0, kSecondFailure = 1, kReportSent = 2 };

void WindowEnded(OsTimerRecord* record) { CoreOfTimer(record)->Ciphers.MicWindowArmed = false; }

void CountermeasureTimer(OsTimerRecord* record) {
  CoreAdapter* core = CoreOfTimer(record);
  // A second failure within the 60 s waits for its report: the send path moves it on.
  if (core->Ciphers.CountermeasureState == kSecondFailure) {
    core->Ciphers.CountermeasureTimerArmed = false;
  } else {
    AdvanceCountermeasures(core);
  }
}

// The authentication request of a MIC failure: status type, {Length, BSSID, pad, Flags}.
void IndicateMicFailure(CoreAdapter* core, std::uint32_t slot) {
  const KeyEntry& entry = core->Keys.Entry(slot);
  const std::uint32_t flags = (entry.flags & kKeyPairwise) != 0 ? kFlagsPairwiseError : kFlagsGroupError;
  std::uint8_t report[20] = {};
  Put32(report, kStatusTypeAuthentication);
  Put32(report + 4, kRequestLength);
  std::memcpy(report + 8, entry.bssid, 6);
  Put32(report + 16, flags);
  IndicateMediaSpecific(core, report, sizeof report);
  std::uint8_t payload[4];
  Put32(payload, flags);
  PostEvent(core, kEventMicFailure, payload, sizeof payload);
}

}  // namespace

void TkipMicFailure(CoreAdapter* core, std::uint32_t slot) {
  CipherState& c = core->Ciphers;
  if (c.MicWindowArmed) {
    CancelTimer(core, kTimerTkipMicFailure);
    c.MicWindowArmed = false;
    c.CountermeasureState = kSecondFailure;
  } else {
    ArmTimer(core, kTimerTkipMicFailure, &WindowEnded, kMicFailureWindowMs, false);
    c.MicWindowArmed = true;
    c.CountermeasureState = kIdle;
  }
  IndicateMicFailure(core, slot);
}

// State 1: the report goes out, 50 ms to go. State 2 (the timer): the link goes and SSID
// sets wait 60 s. State 0 (the timer): the 60 s are over.
void AdvanceCountermeasures(CoreAdapter* core) {
  CipherState& c = core->Ciphers;
  switch (c.CountermeasureState) {
    case kSecondFailure:
      c.CountermeasureState = kReportSent;
      ArmTimer(core, kTimerTkipCountermeasures, &CountermeasureTimer, kCountermeasureReportMs, false);
      c.CountermeasureTimerArmed = true;
      break;
    case kReportSent:
      c.CountermeasureState = kIdle;
      SendDeauthentication(core, core->Bssid.data(), kReasonMicFailure);
      core->MlmeState = kMlmeAuthenticated;
      DisconnectByState(core, true);
      ArmTimer(core, kTimerTkipCountermeasures, &CountermeasureTimer, kCountermeasureBlockMs, false);
      c.CountermeasureTimerArmed = true;
      break;
    default:
      c.CountermeasureTimerArmed = false;
      break;
  }
}

bool TkipCountermeasuresHoldData(const CoreAdapter* core) { return core->Ciphers.CountermeasureState != kIdle; }

bool TkipCountermeasuresLetEapolPass(CoreAdapter* core) {
  CipherState& c = core->Ciphers;
  if (c.CountermeasureState == kReportSent) return false;
  // This frame still goes: it carries the report.
  if (c.CountermeasureState == kSecondFailure) AdvanceCountermeasures(core);
  return true;
}

bool TkipCountermeasuresBlockSsid(const CoreAdapter* core) { return core->Ciphers.CountermeasureTimerArmed; }

void TkipCountermeasuresKeyInstalled(CoreAdapter* core) { core->Ciphers.CountermeasureState = kIdle; }

void TkipForgetMicFailureWindow(CoreAdapter* core) {
  if (!core->Ciphers.MicWindowArmed) return;
  CancelTimer(core, kTimerTkipMicFailure);
  core->Ciphers.MicWindowArmed = false;
}

}  // namespace zelnic::core
