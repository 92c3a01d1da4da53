#include "ksSupp/link/sync_link.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "ksSupp/export_guard.h"
#include "ksSupp/trace.h"


SyncLink::SyncLink(ApiContext& context, StringForm form)
    : adapter_(form, this, context), engine_(context, adapter_) {
  context_.Assign(&context);
  constants_ = DefaultConstants();
}

SyncLink::~SyncLink() = default;

bool SyncLink::Refuse(const char* operation, bool stepping) {
  const char* reason = !initialized_           ? "link not initialized"
                       : stepping && busy_ > 0 ? "called from inside the link's own callback"
                                               : nullptr;
  if (reason == nullptr) return false;
  Refused(operation, reason);
  return true;
}

template <class Work>
std::int32_t SyncLink::Run(const char* operation, Work&& work) {
  if (Refuse(operation, true)) return kRefused;
  struct Busy {
    std::uint32_t& depth;
    explicit Busy(std::uint32_t& d) : depth(d) { ++depth; }
    ~Busy() { --depth; }
  } busy(busy_);
  work();
  return 0;
}

std::int32_t SyncLink::SetCallback(KSSTK_CALLBACK callback, std::uintptr_t user) {
  if (initialized_) {
    return Refused("SetCallback", "link already initialized");
  }
  adapter_.SetHost(callback, user);
  return 0;
}

std::int32_t SyncLink::Initialize() {
  if (initialized_) {
    return Refused("Initialize", "link already initialized");
  }
  initialized_ = true;
  return Run("Initialize", [&] { engine_.Initialize(); });
}

std::int32_t SyncLink::SetAuthStateMachineConstants(const KSSTK_AUTH_STATE_MACHINE_CONSTANTS* given) {
  if (given == nullptr) {
    return Refused("SetAuthStateMachineConstants", "null record");
  }
  return Run("SetAuthStateMachineConstants", [&] {
    std::memcpy(&constants_, given, std::min<std::size_t>(given->Length, sizeof constants_));
    constants_.Length = sizeof constants_;
    engine_.SetPaeConstants(ToPaeConstants(constants_));
  });
}

std::int32_t SyncLink::GetAuthStateMachineConstants(KSSTK_AUTH_STATE_MACHINE_CONSTANTS** out) {
  if (out == nullptr) {
    return Refused("GetAuthStateMachineConstants", "null out pointer");
  }
  *out = nullptr;
  if (Refuse("GetAuthStateMachineConstants", false)) return kRefused;
  auto* copy = static_cast<KSSTK_AUTH_STATE_MACHINE_CONSTANTS*>(std::malloc(sizeof constants_));
  if (copy != nullptr) std::memcpy(copy, &constants_, sizeof constants_);
  *out = copy;
  return 0;
}

std::int32_t SyncLink::SetRoamTimeoutMs(std::uint32_t milliseconds) {
  if (Refuse("SetRoamTimeoutMs", false)) return kRefused;
  engine_.SetRoamTimeout(milliseconds);
  return 0;
}

std::int32_t SyncLink::PortDown() {
  return Run("PortDown", [&] { engine_.PortDown(); });
}

std::int32_t SyncLink::SetNetworkInfo(NetworkInfo* info) {
  if (info == nullptr) {
    return Refused("SetNetworkInfo", "no network");
  }
  // Refused inside a callback too: the engine reads the network it holds during its step.
  return Run("SetNetworkInfo", [&] { network_.Assign(info); });
}

std::int32_t SyncLink::SetIdentity(Identity* identity) {
  if (Refuse("SetIdentity", false)) return kRefused;
  engine_.SetIdentity(identity);
  return 0;
}

std::int32_t SyncLink::SetSessionResumptionTimeout(std::uint32_t seconds) {
  if (Refuse("SetSessionResumptionTimeout", false)) return kRefused;
  engine_.SetSessionResumptionTimeout(seconds);
  return 0;
}

std::int32_t SyncLink::PrecomputeWpaPsk(const char* passphrase, const std::uint8_t* ssid,
                                        std::uint32_t ssidLength) {
  const std::uint32_t length = passphrase != nullptr ? static_cast<std::uint32_t>(std::strlen(passphrase)) : 0;
  engine_.PrecomputeWpaPsk(passphrase, length, ssid, ssidLength);
  return 0;
}

std::int32_t SyncLink::PortUp() {
  return Run("PortUp", [&] {
    if (!network_) network_.Attach(NetworkInfo::Empty());
    engine_.SetNetworkInfo(network_.Get());
    engine_.PortUp();
  });
}

std::int32_t SyncLink::Reauthenticate() {
  return Run("Reauthenticate", [&] { engine_.Reauthenticate(); });
}

std::int32_t SyncLink::ReceiveEapol(const std::uint8_t* frame, std::uint32_t length) {
  if (frame == nullptr && length != 0) {
    return Refused("ReceiveEapol", "null frame");
  }
  return Run("ReceiveEapol", [&] { engine_.ReceiveEapol(frame, length); });
}

std::int32_t SyncLink::ReceiveAuthenticationEvent(const KSSTK_AUTHENTICATION_EVENT* event) {
  if (event == nullptr) {
    return Refused("ReceiveAuthenticationEvent", "null event");
  }
  return Run("ReceiveAuthenticationEvent", [&] {
    // An event for another access point, or before any network, is not ours.
    if (!network_ || std::memcmp(event->Bssid, network_->bssid, 6) != 0) return;
    engine_.ReceiveAuthenticationEvent(event->Flags);
  });
}

std::int32_t SyncLink::ReceivePmkidCandidates(std::uint32_t count, const PmkidCandidate* candidates) {
  return Run("ReceivePMKIDCandidateListEvent",
             [&] { engine_.ReceivePmkidCandidates(std::min(count, kMaxCandidates), candidates); });
}

std::int32_t SyncLink::ReceivePreauthEapol(const std::uint8_t source[6], const std::uint8_t* frame,
                                           std::uint32_t length) {
  return Run("ReceivePreauthEapol", [&] { engine_.ReceivePreauthEapol(source, frame, length); });
}

std::int32_t SyncLink::CckmStartReassociation(const KSSTK_CCKM_START* start) {
  if (start == nullptr) {
    return Refused("CCKM_StartReassociation", "null record");
  }
  return Run("CCKM_StartReassociation",
             [&] { engine_.CckmStartReassociation(start->Timestamp, start->Bssid); });
}

std::int32_t SyncLink::FlushCachedSecurityAssociations() {
  return Run("FlushCachedSecurityAssociations", [&] { engine_.FlushCachedSecurityAssociations(); });
}

std::int32_t SyncLink::Terminate() {
  return Run("Terminate", [&] { engine_.Terminate(); });
}

std::int32_t SyncLink::Process(std::uint32_t* milliseconds) {
  std::uint32_t wait = LinkEngine::kMaxWait;
  const std::int32_t result = Run("Process", [&] { wait = engine_.Process(); });
  if (milliseconds != nullptr) *milliseconds = wait;
  return result;
}

std::int32_t SyncLink::Thread() {
  return Refused("Thread", "a synchronous link has no thread");
}
