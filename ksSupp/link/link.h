#pragma once
// Link: what every link handle does, one operation per KSSTK_LINK_* export. The synchronous
// link runs its engine at once on the caller's thread; the asynchronous one records the
// request for its link thread. Operations answer 0, or -1 when refused.
#include <cstdint>

#include <dcf/RefCounted.h>
#include <ksstk.h>

#include "ksSupp/eapol/supplicant_pae.h"
#include "ksSupp/keys/pmksa_cache.h"

class Identity;
class NetworkInfo;

class Link : public RefCounted {
 public:
  static constexpr std::int32_t kRefused = -1;
  static constexpr std::uint32_t kMaxCandidates = 16;

  virtual std::int32_t SetCallback(KSSTK_CALLBACK callback, std::uintptr_t user) = 0;
  virtual std::int32_t Initialize() = 0;
  virtual std::int32_t SetAuthStateMachineConstants(const KSSTK_AUTH_STATE_MACHINE_CONSTANTS* constants) = 0;
  virtual std::int32_t GetAuthStateMachineConstants(KSSTK_AUTH_STATE_MACHINE_CONSTANTS** constants) = 0;
  virtual std::int32_t SetRoamTimeoutMs(std::uint32_t milliseconds) = 0;
  virtual std::int32_t PortDown() = 0;
  virtual std::int32_t SetNetworkInfo(NetworkInfo* info) = 0;
  virtual std::int32_t SetIdentity(Identity* identity) = 0;
  virtual std::int32_t SetSessionResumptionTimeout(std::uint32_t seconds) = 0;
  virtual std::int32_t PrecomputeWpaPsk(const char* passphrase, const std::uint8_t* ssid,
                                        std::uint32_t ssidLength) = 0;
  virtual std::int32_t PortUp() = 0;
  virtual std::int32_t Reauthenticate() = 0;
  virtual std::int32_t ReceiveEapol(const std::uint8_t* frame, std::uint32_t length) = 0;
  virtual std::int32_t ReceiveAuthenticationEvent(const KSSTK_AUTHENTICATION_EVENT* event) = 0;
  // At most kMaxCandidates entries, {BSSID, pre-authentication flag}.
  virtual std::int32_t ReceivePmkidCandidates(std::uint32_t count,
                                              const PmkidCandidate* candidates) = 0;
  virtual std::int32_t ReceivePreauthEapol(const std::uint8_t source[6], const std::uint8_t* frame,
                                           std::uint32_t length) = 0;
  virtual std::int32_t CckmStartReassociation(const KSSTK_CCKM_START* start) = 0;
  virtual std::int32_t FlushCachedSecurityAssociations() = 0;
  virtual std::int32_t Terminate() = 0;
  // *milliseconds is always stored.
  virtual std::int32_t Process(std::uint32_t* milliseconds) = 0;
  virtual std::int32_t Thread() = 0;

 protected:
  Link() = default;
  // Traces the refusal of an operation at level 1; returns kRefused.
  static std::int32_t Refused(const char* operation, const char* reason);
  static PaeConstants ToPaeConstants(const KSSTK_AUTH_STATE_MACHINE_CONSTANTS& constants);
  // The host record of the PAE's defaults.
  static KSSTK_AUTH_STATE_MACHINE_CONSTANTS DefaultConstants();
  ~Link() override = default;
};
