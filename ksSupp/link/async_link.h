#pragma once
// AsyncLink: the asynchronous link. Host calls only record a request under the link's lock
// and wake the link thread; the host runs KSSTK_LINK_Thread on a thread of its own, and only
// that thread drives the engine and calls the host back. Lock order: the link's lock, then a
// queue's lock.
#include <atomic>
#include <cstdint>

#include <dcf/dcfComPtr.h>
#include <dcf/dcfCriticalSection.h>

#include "ksSupp/identity.h"
#include "ksSupp/link/frame_queue.h"
#include "ksSupp/link/gate_event.h"
#include "ksSupp/link/link.h"
#include "ksSupp/link/link_engine.h"
#include "ksSupp/link_callback_adapter.h"

class AsyncLink final : public Link {
 public:
  static constexpr std::uint32_t kEventCapacity = 16;

  // One reference, for the caller.
  static AsyncLink* Create(ApiContext& context, StringForm form) { return new AsyncLink(context, form); }

  std::int32_t SetCallback(KSSTK_CALLBACK callback, std::uintptr_t user) override;
  std::int32_t Initialize() override;
  std::int32_t SetAuthStateMachineConstants(const KSSTK_AUTH_STATE_MACHINE_CONSTANTS* constants) override;
  std::int32_t GetAuthStateMachineConstants(KSSTK_AUTH_STATE_MACHINE_CONSTANTS** constants) override;
  std::int32_t SetRoamTimeoutMs(std::uint32_t milliseconds) override;
  std::int32_t PortDown() override;
  std::int32_t SetNetworkInfo(NetworkInfo* info) override;
  std::int32_t SetIdentity(Identity* identity) override;
  std::int32_t SetSessionResumptionTimeout(std::uint32_t seconds) override;
  std::int32_t PrecomputeWpaPsk(const char* passphrase, const std::uint8_t* ssid,
                                std::uint32_t ssidLength) override;
  std::int32_t PortUp() override;
  std::int32_t Reauthenticate() override;
  std::int32_t ReceiveEapol(const std::uint8_t* frame, std::uint32_t length) override;
  std::int32_t ReceiveAuthenticationEvent(const KSSTK_AUTHENTICATION_EVENT* event) override;
  std::int32_t ReceivePmkidCandidates(std::uint32_t count, const PmkidCandidate* candidates) override;
  std::int32_t ReceivePreauthEapol(const std::uint8_t source[6], const std::uint8_t* frame,
                                   std::uint32_t length) override;
  std::int32_t CckmStartReassociation(const KSSTK_CCKM_START* start) override;
  std::int32_t FlushCachedSecurityAssociations() override;
  std::int32_t Terminate() override;
  std::int32_t Process(std::uint32_t* milliseconds) override;
  std::int32_t Thread() override;

 private:
  // The callback adapter of the link thread: after the host has heard that the keys are
  // reset (a new authentication begins), an identity it set in answer is applied at once.
  class Adapter final : public LinkCallbackAdapter {
   public:
    Adapter(StringForm form, AsyncLink& link, ApiContext& context)
        : LinkCallbackAdapter(form, &link, context), link_(link) {}
    void KeysReset(std::uintptr_t port) override {
      LinkCallbackAdapter::KeysReset(port);
      link_.ApplyPendingIdentity();
    }

   private:
    AsyncLink& link_;
  };

  // What one pass of the thread takes from the requests.
  struct Snapshot;

  AsyncLink(ApiContext& context, StringForm form);
  ~AsyncLink() override;

  // Refused (-1, traced) before Initialize.
  bool Refuse(const char* operation) const;
  // Records under the lock, then wakes the thread.
  template <class Record>
  std::int32_t Request(const char* operation, Record&& record);
  void TakeSnapshot(Snapshot& snapshot);
  void Apply(Snapshot& snapshot, bool first);
  void ApplyPendingIdentity();

  Adapter adapter_;
  KSSTK_AUTH_STATE_MACHINE_CONSTANTS constants_{};
  dcfComPtr<ApiContext> context_;
  LinkEngine engine_;

  dcfCriticalSection lock_;
  GateEvent gate_;
  FrameQueue eapolQueue_;
  FrameQueue preauthQueue_;
  dcfComPtr<NetworkInfo> pendingNetwork_;
  dcfComPtr<Identity> pendingIdentity_;
  bool identityPending_ = false;
  PmkidCandidate pendingCandidates_[kMaxCandidates] = {};
  std::uint32_t pendingCandidateCount_ = 0;
  bool candidatesPending_ = false;
  std::uint32_t roamTimeoutMs_ = 0;
  std::atomic<bool> started_{false};
  bool stopRequested_ = false;
  bool portDownPending_ = false;
  bool flushPending_ = false;
  bool portUpPending_ = false;
  bool reauthPending_ = false;
  bool settingsPending_ = false;
  bool cckmPending_ = false;
  std::uint32_t resumptionTimeout_ = 0;
  // Authentication events, each applied on its own (one EAPOL-Key request per event).
  std::uint32_t events_[kEventCapacity] = {};
  std::uint32_t eventCount_ = 0;
  KSSTK_CCKM_START cckmRequest_{};
  std::atomic<bool> threadRunning_{false};
};
