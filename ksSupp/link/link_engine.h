#pragma once
// LinkEngine: the 802.1X/WPA/RSN engine of one port. It owns the supplicant PAE, the WPA and
// RSN key handlers, the PSK cache, the link state machine with its timers and the timer
// machine of the host's link notices; it reads received EAPOL frames, handles the legacy
// RC4 key descriptor of dynamic WEP itself, turns the pass phrase or the EAP method's keys
// into master keys, and reaches the host only through the link's LinkCallbacks.
//
// The link calls it from one thread at a time. Every operation that changes the state ends
// in one engine step: the clock is read, the countdowns lowered, the state machine runs as
// far as it can; Process also tells when the next step is due.
#include <cstdint>

#include <collections/dcfByteArray.h>
#include <dcf/dcfComPtr.h>

#include "ksSupp/api_context.h"
#include "ksSupp/eapol/link_pae_services.h"
#include "ksSupp/eapol/supplicant_pae.h"
#include "ksSupp/keys/key_handler_services.h"
#include "ksSupp/keys/rsn_key_handler.h"
#include "ksSupp/keys/wpa_key_handler.h"
#include "ksSupp/link/link_timer_machine.h"
#include "ksSupp/link/network_info.h"
#include "ksSupp/link/preauth_port.h"
#include "ksSupp/link/psk_cache.h"

class Identity;

class LinkEngine final : private KeyHandlerServices,
                         private LinkPaeServices,
                         private PreauthPmksaServices {
 public:
  // Link states.
  enum State : std::uint32_t {
    kNotStarted = 0,
    kIdle = 1,
    kAuthenticating = 3,
    kCachedReconnect = 4,
    kAwaitingKeys = 5,
    kAuthenticated = 6,
    kAwaitingPskKeys = 7,
    kConnected = 8,
    kNoAuthenticator = 9,
  };
  // Association modes of the key management in use.
  enum Mode : std::uint32_t { kModeNone = 0, kModeDynamicWep = 1, kModeWpa = 2, kModeRsn = 3 };

  static constexpr std::uint32_t kMaxWait = 60000;
  static constexpr std::uint32_t kKeyTimeout = 10000;
  static constexpr std::uint32_t kGuardTime = 30000;

  LinkEngine(ApiContext& context, LinkCallbacks& callbacks);
  ~LinkEngine();
  LinkEngine(const LinkEngine&) = delete;
  LinkEngine& operator=(const LinkEngine&) = delete;

  // Link operations that end in a step.
  void Initialize();
  void Terminate();
  void PortUp();
  void PortDown();
  void ReceiveEapol(const std::uint8_t* frame, std::uint32_t length);
  // A step, then the milliseconds until the next one is due (at most kMaxWait).
  std::uint32_t Process();

  // Link operations without a step.
  void SetNetworkInfo(NetworkInfo* info);
  void SetIdentity(Identity* identity) {
    pae_.SetIdentity(identity);
    preauth_.SetIdentity(identity);
  }
  void SetSessionResumptionTimeout(std::uint32_t seconds) {
    pae_.SetSessionResumptionTimeout(seconds);
    preauth_.SetSessionResumptionTimeout(seconds);
  }
  void SetPaeConstants(const PaeConstants& constants) { pae_.SetConstants(constants); }
  void SetRoamTimeout(std::uint32_t milliseconds) { timer_.SetRoamPeriod(milliseconds); }
  void Reauthenticate() override {
    preauth_.SetActive(false);
    pae_.Reauthenticate();
  }
  void ReceiveAuthenticationEvent(std::uint32_t flags);
  void ReceivePmkidCandidates(std::uint32_t count, const PmkidCandidate* candidates);
  void CckmStartReassociation(const std::uint8_t timestamp[8], const std::uint8_t bssid[6]);
  void FlushCachedSecurityAssociations();
  void ReceivePreauthEapol(const std::uint8_t source[6], const std::uint8_t* frame,
                           std::uint32_t length);
  void PrecomputeWpaPsk(const char* passphrase, std::uint32_t length, const std::uint8_t* ssid,
                        std::uint32_t ssidLength);

  // The PMKSA services of the pre-authentication port (RSN only).
  bool NextPreauthCandidate(std::uint8_t bssid[6]) override;
  void AddPreauthPmk(const std::uint8_t bssid[6], const std::uint8_t* pmk,
                     std::uint32_t length) override;

  const NetworkInfo& Network() const { return *network_; }
  State state() const { return state_; }
  Mode mode() const { return mode_; }
  const SupplicantPae& Pae() const { return pae_; }
  const PreauthPort& Preauth() const { return preauth_; }

 private:
  // The engine step and the link state machine.
  void Step();
  void RunStateMachine();
  // The work of the current state; true when the state changed and the machine runs on.
  bool StateWork();
  void EventLoop();
  void EnterIdle();
  void PortUpWork();
  void EnterAuthenticated();
  void EnterConnected();
  void EnterReauthentication();
  // The PAE's step, then a pending frame, then the PAE's step again.
  void Consume();
  void KeyTimeout();
  void ConnectNotices();
  void NasNotice(std::uint16_t reason);
  std::uint32_t EapTypeInUse() const;
  bool KeysComplete() const;

  // EAPOL frames and keys.
  void ReceiveFrame(const std::uint8_t* frame, std::uint32_t length);
  void DispatchKey(const std::uint8_t* frame, std::uint32_t length);
  void ReceiveLegacyKey(const std::uint8_t* frame, std::uint32_t length);
  bool SetMasterKeys();
  bool NetworkPsk(std::uint8_t psk[kPskLength]);
  void InstallAdHocKey();
  void ChooseMode();
  KeyHandler* ModeHandler();

  // KeyHandlerServices.
  void TransmitEapolKey(const std::uint8_t* frame, std::uint32_t length) override;
  void InstallKey(std::uint32_t suite, const std::uint8_t* key, std::uint32_t length,
                  std::uint32_t index, const std::uint8_t* bssid, std::uint32_t rscLow,
                  std::uint32_t rscHigh) override;
  void InstallWepKey(const std::uint8_t* key, std::uint32_t length, std::uint32_t index) override;
  void RemoveKey(std::uint32_t index, const std::uint8_t* bssid) override;
  void SendCckmElement(std::uint32_t kind, const std::uint8_t* element,
                       std::uint32_t length) override;
  void CckmResult(std::uint32_t result) override;
  void ReportKeyFailure(std::uint32_t reason) override;
  void PairwiseMessage1Received() override { SetMasterKeys(); }
  void PmksaCacheHit() override;
  void CachedHandshakeDone() override;
  void SetPmkidList(std::uint32_t count, const std::uint8_t* entries) override;
  void SendFlitElements(const std::uint8_t*, std::uint32_t) override {}

  // PAE services the engine adds to the host messages.
  void KeysInvalidated() override;
  void SetMasterSessionKeys() override { SetMasterKeys(); }
  void AuthenticationFailed(std::uint32_t status) override;

  dcfComPtr<ApiContext> context_;
  dcfComPtr<NetworkInfo> network_;
  LinkTimerMachine timer_;
  Mode mode_ = kModeNone;
  bool keysSet_ = false;

  // Dynamic WEP: the session keys from the method and what the descriptors brought.
  SecureByteArray encryptionKey_;
  SecureByteArray signatureKey_;
  std::uint64_t legacyReplayCounter_ = 0;
  bool legacyCounterSeen_ = false;
  bool unicastKeyReceived_ = false;
  bool broadcastKeyReceived_ = false;
  bool masterKeysAvailable_ = false;

  WpaKeyHandler wpa_;
  RsnKeyHandler rsn_;

  bool initialized_ = false;
  bool terminated_ = false;
  State state_ = kNotStarted;
  std::uint32_t pending_ = 0;  // bit 0 port up, bit 2 port down, bit 3 key failure
  const std::uint8_t* pendingFrame_ = nullptr;
  std::uint32_t pendingLength_ = 0;
  bool masterKeysPending_ = false;
  std::uint32_t reconnectStep_ = 0;  // RSN reconnect: 0 none, 1 possible, 2 cache hit, 3 done
  std::uint32_t lastTick_ = 0;
  std::uint32_t keyTimer_ = 0;
  std::uint32_t guardTimer_ = 0;
  bool guardArmed_ = false;
  bool noticesPending_ = false;

  PskCache pskCache_;
  SupplicantPae pae_;
  PreauthPort preauth_;

  // The network of the last port-up, to tell a new network from the same one.
  dcfByteArray lastSsid_;
  std::uint32_t lastNetworkType_ = 0;
};
