#include "ksSupp/link/preauth_port.h"

#include <cstring>

#include <dcf/dcfWipe.h>

#include "ksSupp/eapol/eapol_frame.h"
#include "ksSupp/trace.h"

namespace {

void Discard(TraceCategory category, const char* text) {
  if (TraceEnabled(TraceLevel::Error)) traceError(category, nullptr, 0, "%s", text);
}

PaeConstants PreauthConstants() {
  PaeConstants constants;
  constants.startPeriod = 3000;
  constants.firstStartDelay = 20;
  return constants;
}

}  // namespace

PreauthPort::PreauthPort(ApiContext& context, LinkCallbacks& callbacks,
                         PreauthPmksaServices& pmksa)
    : LinkPaeServices(callbacks, 0), pmksa_(pmksa), pae_(static_cast<LinkPaeServices&>(*this)) {
  // The context word of every message is the candidate's address.
  port_ = reinterpret_cast<std::uintptr_t>(candidate_);
  context_.Assign(&context);
  pae_.SetConstants(PreauthConstants());
}

PreauthPort::~PreauthPort() { pae_.ReleaseMethod(); }

void PreauthPort::SetActive(bool active) {
  enabled_ = active;
  if (!active) candidateTimer_ = 0;
}

void PreauthPort::Stop() {
  const bool enabled = enabled_;
  enabled_ = false;
  Step();
  enabled_ = enabled;
}

bool PreauthPort::StillRunning() {
  pae_.Step();
  return !done_ && candidateTimer_ != 0;
}

void PreauthPort::Step() {
  if (state_ != kIdle) {
    if (state_ == kAuthenticating && enabled_ && StillRunning()) return;
    Finish();
  }
  while (enabled_) {
    if (!pmksa_.NextPreauthCandidate(candidate_)) {
      std::memset(candidate_, 0, sizeof candidate_);
      return;
    }
    done_ = false;
    candidateTimer_ = kCandidateTime;
    pae_.SetEapolVersion(2);
    pae_.SetPortActive(true);
    pae_.SetInitialize(false);  // the first EAPOL-Start follows firstStartDelay later
    state_ = kAuthenticating;
    if (StillRunning()) return;
    Finish();
  }
}

void PreauthPort::Finish() {
  pae_.SetPortActive(false);
  pae_.ReleaseMethod();
  candidateTimer_ = 0;
  pae_.SetInitialize(true);
  // Cleared after the PAE is held, so that the report of the candidate's end still names it.
  std::memset(candidate_, 0, sizeof candidate_);
  state_ = kIdle;
}

void PreauthPort::StorePmk() {
  done_ = true;
  std::uint8_t keys[64];
  bool isShort = false;
  if (!pae_.GetMethodKeys(keys, isShort)) {
    Discard(TraceCategory::Keys,
            "Cannot get PMK from preauthentication: authentication not complete or method does "
            "not support session keys\n");
    return;
  }
  const std::uint32_t length = isShort ? 16 : 32;
  if (TraceEnabled(TraceLevel::Detail))
    traceDetail(TraceCategory::Keys, keys, length, "Preauth PMK:\n");
  pmksa_.AddPreauthPmk(candidate_, keys, length);
  dcfWipe(keys, sizeof keys);
}

void PreauthPort::Receive(const std::uint8_t source[6], const std::uint8_t* frame,
                          std::uint32_t length) {
  if (TraceEnabled(TraceLevel::Event))
    traceEvent(TraceCategory::Eap, frame, length,
               "Received EAPOL packet, BSSID = %02X%02X%02X%02X%02X%02X\n", source[0], source[1],
               source[2], source[3], source[4], source[5]);
  // No candidate runs while the address is all zero, and no station sends from it.
  static const std::uint8_t kNone[6] = {};
  if (std::memcmp(source, candidate_, 6) != 0 || std::memcmp(candidate_, kNone, 6) == 0) {
    Discard(TraceCategory::Eap, "Discarding EAPOL packet: unexpected BSSID\n");
    return;
  }
  if (frame == nullptr || length < kEapolHeaderSize) {
    Discard(TraceCategory::Eap, "Discarding EAPOL packet: too small to contain EAPOL header\n");
    return;
  }
  const std::uint32_t bodyLength = static_cast<std::uint32_t>(frame[2] << 8 | frame[3]);
  if (bodyLength + kEapolHeaderSize > length) {
    Discard(TraceCategory::Eap, "Discarding EAPOL packet: length requires longer message\n");
    return;
  }
  if (frame[1] != kEapolEapPacket) {
    if (TraceEnabled(TraceLevel::Error))
      traceError(TraceCategory::Keys, nullptr, 0, "Discarding EAPOL packet: unexpected packet type %u\n",
                 static_cast<unsigned>(frame[1]));
    return;
  }
  pae_.SetEapolVersion(frame[0] <= 2 ? frame[0] : 2);
  pae_.ReceiveEap(frame + kEapolHeaderSize, bodyLength);
  pae_.Step();
}

void PreauthPort::ElapseTime(std::uint32_t milliseconds) {
  pae_.ElapseTime(milliseconds);
  candidateTimer_ = candidateTimer_ > milliseconds ? candidateTimer_ - milliseconds : 0;
}

void PreauthPort::NextTimeout(std::uint32_t& milliseconds) const {
  // A held PAE keeps its countdowns, but nothing is due before the next candidate.
  if (state_ != kAuthenticating) return;
  pae_.NextTimeout(milliseconds);
  if (candidateTimer_ != 0 && candidateTimer_ < milliseconds) milliseconds = candidateTimer_;
}

void PreauthPort::CompensateTime(std::uint32_t milliseconds) {
  pae_.CompensateTime(milliseconds);
  if (candidateTimer_ != 0) candidateTimer_ += milliseconds;
}
