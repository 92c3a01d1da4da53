#pragma once
// SyncLink: the synchronous link. Its engine runs at once, on the host's thread, inside the
// call that brings a frame or an event; the host's callback is called from inside those
// calls. No lock: the host calls one link from one thread at a time.
#include <cstdint>

#include <dcf/dcfComPtr.h>

#include "ksSupp/link/link.h"
#include "ksSupp/link/link_engine.h"
#include "ksSupp/link_callback_adapter.h"

class SyncLink final : public Link {
 public:
  // One reference, for the caller.
  static SyncLink* Create(ApiContext& context, StringForm form) { return new SyncLink(context, form); }

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

  const LinkEngine& Engine() const { return engine_; }

 private:
  SyncLink(ApiContext& context, StringForm form);
  ~SyncLink() override;

  // Refused (-1, traced) before Initialize, or from inside the link's own callback.
  bool Refuse(const char* operation, bool stepping);
  // Runs an operation of the engine, marking the link busy while its callbacks may run.
  template <class Work>
  std::int32_t Run(const char* operation, Work&& work);

  LinkCallbackAdapter adapter_;
  KSSTK_AUTH_STATE_MACHINE_CONSTANTS constants_{};
  dcfComPtr<ApiContext> context_;
  LinkEngine engine_;
  dcfComPtr<NetworkInfo> network_;
  bool initialized_ = false;
  std::uint32_t busy_ = 0;  // depth of engine work on the stack: non-zero inside a callback
};
