#include "ksSupp/link/async_link.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <dcf/dcfLock.h>

#include "ksSupp/trace.h"


struct AsyncLink::Snapshot {
  bool portDown = false;
  bool flush = false;
  dcfComPtr<NetworkInfo> network;  // set: port up with it
  bool identity = false;
  dcfComPtr<Identity> identityValue;
  bool reauthenticate = false;
  std::uint32_t events[kEventCapacity] = {};
  std::uint32_t eventCount = 0;
  bool candidates = false;
  PmkidCandidate candidateList[kMaxCandidates] = {};
  std::uint32_t candidateCount = 0;
  bool cckm = false;
  KSSTK_CCKM_START cckmRequest{};
};

AsyncLink::AsyncLink(ApiContext& context, StringForm form)
    : adapter_(form, *this, context), engine_(context, adapter_) {
  context_.Assign(&context);
  constants_ = DefaultConstants();
}

// Members go in reverse order: the pending requests and the queues, then the engine, then
// the context and the adapter the engine used.
AsyncLink::~AsyncLink() = default;

bool AsyncLink::Refuse(const char* operation) const {
  if (started_) return false;
  Refused(operation, "link not initialized");
  return true;
}

template <class Record>
std::int32_t AsyncLink::Request(const char* operation, Record&& record) {
  if (Refuse(operation)) return kRefused;
  dcfLock lock(lock_);
  if (record()) gate_.Set();
  return 0;
}

std::int32_t AsyncLink::SetCallback(KSSTK_CALLBACK callback, std::uintptr_t user) {
  if (started_) return Refused("SetCallback", "link already initialized");
  adapter_.SetHost(callback, user);
  return 0;
}

std::int32_t AsyncLink::Initialize() {
  if (started_.exchange(true)) return Refused("Initialize", "link already initialized");
  gate_.Set();
  return 0;
}

std::int32_t AsyncLink::SetAuthStateMachineConstants(const KSSTK_AUTH_STATE_MACHINE_CONSTANTS* given) {
  if (given == nullptr) return Refused("SetAuthStateMachineConstants", "null record");
  return Request("SetAuthStateMachineConstants", [&] {
    std::memcpy(&constants_, given, std::min<std::size_t>(given->Length, sizeof constants_));
    constants_.Length = sizeof constants_;
    settingsPending_ = true;
    return true;
  });
}

std::int32_t AsyncLink::GetAuthStateMachineConstants(KSSTK_AUTH_STATE_MACHINE_CONSTANTS** out) {
  if (out == nullptr) return Refused("GetAuthStateMachineConstants", "null out pointer");
  *out = nullptr;
  if (Refuse("GetAuthStateMachineConstants")) return kRefused;
  auto* copy = static_cast<KSSTK_AUTH_STATE_MACHINE_CONSTANTS*>(std::malloc(sizeof constants_));
  dcfLock lock(lock_);
  if (copy != nullptr) std::memcpy(copy, &constants_, sizeof constants_);
  *out = copy;
  return 0;
}

std::int32_t AsyncLink::SetRoamTimeoutMs(std::uint32_t milliseconds) {
  return Request("SetRoamTimeoutMs", [&] {
    roamTimeoutMs_ = milliseconds;
    settingsPending_ = true;
    return true;
  });
}

std::int32_t AsyncLink::PortDown() {
  return Request("PortDown", [&] {
    eapolQueue_.Clear();
    portUpPending_ = false;
    portDownPending_ = true;
    return true;
  });
}

std::int32_t AsyncLink::SetNetworkInfo(NetworkInfo* info) {
  if (info == nullptr) return Refused("SetNetworkInfo", "no network");
  return Request("SetNetworkInfo", [&] {
    pendingNetwork_.Assign(info);
    return false;
  });
}

std::int32_t AsyncLink::SetIdentity(Identity* identity) {
  return Request("SetIdentity", [&] {
    pendingIdentity_.Assign(identity);
    identityPending_ = true;
    return true;
  });
}

std::int32_t AsyncLink::SetSessionResumptionTimeout(std::uint32_t seconds) {
  return Request("SetSessionResumptionTimeout", [&] {
    resumptionTimeout_ = seconds;
    return false;
  });
}

std::int32_t AsyncLink::PrecomputeWpaPsk(const char* passphrase, const std::uint8_t* ssid,
                                         std::uint32_t ssidLength) {
  const std::uint32_t length = passphrase != nullptr ? static_cast<std::uint32_t>(std::strlen(passphrase)) : 0;
  engine_.PrecomputeWpaPsk(passphrase, length, ssid, ssidLength);  // the cache has its own lock
  return 0;
}

std::int32_t AsyncLink::PortUp() {
  return Request("PortUp", [&] {
    eapolQueue_.Clear();
    portUpPending_ = true;
    return true;
  });
}

std::int32_t AsyncLink::Reauthenticate() {
  return Request("Reauthenticate", [&] { return reauthPending_ = true; });
}

std::int32_t AsyncLink::ReceiveEapol(const std::uint8_t* frame, std::uint32_t length) {
  if (frame == nullptr && length != 0) return Refused("ReceiveEapol", "null frame");
  return Request("ReceiveEapol", [&] {
    if (!eapolQueue_.Push(nullptr, 0, frame, length))
      Refused("ReceiveEapol", "queue full, frame dropped");
    return true;
  });
}

std::int32_t AsyncLink::ReceiveAuthenticationEvent(const KSSTK_AUTHENTICATION_EVENT* event) {
  if (event == nullptr) return Refused("ReceiveAuthenticationEvent", "null event");
  return Request("ReceiveAuthenticationEvent", [&] {
    // An event before any network, or for another access point, is not ours.
    if (!pendingNetwork_ || std::memcmp(event->Bssid, pendingNetwork_->bssid, 6) != 0) return false;
    if (eventCount_ == kEventCapacity) {
      Refused("ReceiveAuthenticationEvent", "event queue full, event dropped");
      return true;
    }
    events_[eventCount_++] = event->Flags;
    return true;
  });
}

std::int32_t AsyncLink::ReceivePmkidCandidates(std::uint32_t count, const PmkidCandidate* candidates) {
  return Request("ReceivePMKIDCandidateListEvent", [&] {
    pendingCandidateCount_ = std::min(count, kMaxCandidates);
    std::copy_n(candidates, pendingCandidateCount_, pendingCandidates_);
    candidatesPending_ = true;
    return false;
  });
}

std::int32_t AsyncLink::ReceivePreauthEapol(const std::uint8_t source[6], const std::uint8_t* frame,
                                            std::uint32_t length) {
  return Request("ReceivePreauthEapol", [&] {
    if (!preauthQueue_.Push(source, 6, frame, length))
      Refused("ReceivePreauthEapol", "queue full, frame dropped");
    return true;
  });
}

std::int32_t AsyncLink::CckmStartReassociation(const KSSTK_CCKM_START* start) {
  if (start == nullptr) return Refused("CCKM_StartReassociation", "null record");
  return Request("CCKM_StartReassociation", [&] {
    cckmRequest_ = *start;
    return cckmPending_ = true;
  });
}

std::int32_t AsyncLink::FlushCachedSecurityAssociations() {
  return Request("FlushCachedSecurityAssociations", [&] { return flushPending_ = true; });
}

std::int32_t AsyncLink::Terminate() {
  return Request("Terminate", [&] { return stopRequested_ = true; });
}

std::int32_t AsyncLink::Process(std::uint32_t* milliseconds) {
  if (milliseconds != nullptr) *milliseconds = LinkEngine::kMaxWait;
  return Refused("Process", "an asynchronous link runs on KSSTK_LINK_Thread");
}

// ---- The link thread ----

void AsyncLink::TakeSnapshot(Snapshot& s) {
  s.portDown = portDownPending_;
  s.flush = flushPending_;
  portDownPending_ = flushPending_ = false;
  if (portUpPending_) {
    portUpPending_ = false;
    s.network.Assign(pendingNetwork_ ? pendingNetwork_.Get() : nullptr);
    if (!s.network) s.network.Attach(NetworkInfo::Empty());
  }
  if (identityPending_) {
    s.identity = true;
    s.identityValue = std::move(pendingIdentity_);
    identityPending_ = false;
  }
  s.reauthenticate = reauthPending_;
  reauthPending_ = false;
  if (settingsPending_) {
    settingsPending_ = false;
    engine_.SetPaeConstants(ToPaeConstants(constants_));
    engine_.SetRoamTimeout(roamTimeoutMs_);
  }
  engine_.SetSessionResumptionTimeout(resumptionTimeout_);
  std::copy_n(events_, eventCount_, s.events);
  s.eventCount = eventCount_;
  eventCount_ = 0;
  if (candidatesPending_) {
    s.candidates = true;
    s.candidateCount = pendingCandidateCount_;
    std::copy_n(pendingCandidates_, pendingCandidateCount_, s.candidateList);
    candidatesPending_ = false;
  }
  s.cckm = cckmPending_;
  cckmPending_ = false;
  s.cckmRequest = cckmRequest_;
}

void AsyncLink::Apply(Snapshot& s, bool first) {
  if (first) engine_.Initialize();
  if (s.portDown) engine_.PortDown();
  if (s.flush) engine_.FlushCachedSecurityAssociations();
  if (s.identity) engine_.SetIdentity(s.identityValue.Get());
  if (s.reauthenticate) engine_.Reauthenticate();
  if (s.network) {
    engine_.SetNetworkInfo(s.network.Get());
    engine_.PortUp();
  }
  for (std::uint32_t i = 0; i < s.eventCount; ++i) engine_.ReceiveAuthenticationEvent(s.events[i]);
  if (s.candidates) engine_.ReceivePmkidCandidates(s.candidateCount, s.candidateList);
  if (s.cckm) engine_.CckmStartReassociation(s.cckmRequest.Timestamp, s.cckmRequest.Bssid);
  dcfByteArray frame;
  while (eapolQueue_.Pop(frame)) engine_.ReceiveEapol(frame.Data(), frame.Length());
  while (preauthQueue_.Pop(frame)) {
    if (frame.Length() > 6) engine_.ReceivePreauthEapol(frame.Data(), frame.Data() + 6, frame.Length() - 6);
  }
}

void AsyncLink::ApplyPendingIdentity() {
  dcfComPtr<Identity> identity;
  {
    dcfLock lock(lock_);
    if (!identityPending_) return;
    identity = std::move(pendingIdentity_);
    identityPending_ = false;
  }
  engine_.SetIdentity(identity.Get());
}

std::int32_t AsyncLink::Thread() {
  if (threadRunning_.exchange(true)) return Refused("Thread", "the link thread already runs");
  const dcfComPtr<Link> hold(this);
  struct Running {
    std::atomic<bool>& flag;
    ~Running() { flag = false; }
  } running{threadRunning_};
  std::uint32_t wait = plat::kInfinite;
  bool first = true;
  for (;;) {
    gate_.Wait(wait);
    Snapshot snapshot;
    {
      dcfLock lock(lock_);
      if (stopRequested_) {
        lock.Leave();
        engine_.Terminate();
        return 0;
      }
      if (!started_) continue;
      TakeSnapshot(snapshot);
    }
    Apply(snapshot, first);
    first = false;
    wait = engine_.Process();
  }
}
