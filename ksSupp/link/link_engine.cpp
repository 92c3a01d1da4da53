#include "ksSupp/link/link_engine.h"

#include <algorithm>
#include <cstring>

#include <dcf/dcfWipe.h>

#include "ksSupp/eapol/eapol_frame.h"
#include "ksSupp/keys/ie_set.h"
#include "ksSupp/link/legacy_key_descriptor.h"
#include "platform/win32/tick_count.h"
#include "ksSupp/trace.h"

namespace {

constexpr std::uint32_t kPortUpBit = 1u << 0;
constexpr std::uint32_t kPortDownBit = 1u << 2;
constexpr std::uint32_t kKeyFailureBit = 1u << 3;
constexpr std::uint32_t kBits1To3 = 0xEu;
constexpr std::uint32_t kKeyTimeoutReason = 1;
constexpr std::uint32_t kAdHocKeyIndex = 0x80000000;
// The state machine settles in a few passes; the bound guards against a cycle no input
// should be able to make.
constexpr int kMaxPasses = 32;

// Lowers a countdown, not below 0.
void Lower(std::uint32_t& timer, std::uint32_t elapsed) { timer = timer > elapsed ? timer - elapsed : 0; }

void KeysError(const char* text) {
  if (TraceEnabled(TraceLevel::Error)) traceError(TraceCategory::Keys, nullptr, 0, "%s", text);
}

bool SameSsid(const dcfByteArray& a, const dcfByteArray& b) {
  return a.Length() == b.Length() && (a.Empty() || std::memcmp(a.Data(), b.Data(), a.Length()) == 0);
}

// The WPA selector of the ad-hoc key for the network's cipher.
std::uint32_t AdHocSelector(std::uint32_t cipher) {
  switch (cipher) {
    case KSSTK_CIPHER_WEP: return 0x0050F205;
    case KSSTK_CIPHER_TKIP: return 0x0050F202;
    case KSSTK_CIPHER_CCMP: return 0x0050F204;
    default: return 0;
  }
}

}  // namespace

LinkEngine::LinkEngine(ApiContext& context, LinkCallbacks& callbacks)
    : LinkPaeServices(callbacks, 0),
      timer_(callbacks),
      wpa_(*this),
      rsn_(*this),
      lastTick_(plat::TickCount()),
      pae_(static_cast<LinkPaeServices&>(*this)),
      preauth_(context, callbacks, static_cast<PreauthPmksaServices&>(*this)) {
  context_.Assign(&context);
  network_.Attach(NetworkInfo::Empty());
}

LinkEngine::~LinkEngine() { pae_.ReleaseMethod(); }

// ---- Link operations ----

void LinkEngine::Initialize() {
  initialized_ = true;
  lastTick_ = plat::TickCount();
  Step();
}

void LinkEngine::Terminate() {
  terminated_ = true;
  Step();
}

void LinkEngine::PortUp() {
  pending_ |= kPortUpBit;
  Step();
}

void LinkEngine::PortDown() {
  pending_ = kPortDownBit;
  Step();
}

void LinkEngine::ReceiveEapol(const std::uint8_t* frame, std::uint32_t length) {
  // The frame belongs to the caller: it is forgotten when the step ends, also by an
  // exception.
  struct Forget {
    LinkEngine& engine;
    ~Forget() {
      engine.pendingFrame_ = nullptr;
      engine.pendingLength_ = 0;
    }
  } forget{*this};
  pendingFrame_ = frame;
  pendingLength_ = length;
  Step();
}

std::uint32_t LinkEngine::Process() {
  Step();
  std::uint32_t wait = kMaxWait;
  pae_.NextTimeout(wait);
  preauth_.NextTimeout(wait);
  timer_.NextTimeout(wait);
  for (std::uint32_t timer : {keyTimer_, guardTimer_}) {
    if (timer != 0 && timer < wait) wait = timer;
  }
  return wait;
}

void LinkEngine::SetNetworkInfo(NetworkInfo* info) {
  if (info == nullptr) {
    network_.Attach(NetworkInfo::Empty());
  } else {
    network_.Assign(info);
  }
}

void LinkEngine::ReceiveAuthenticationEvent(std::uint32_t flags) {
  if (mode_ == kModeWpa) wpa_.WpaAuthIndication(flags, network_->bssid);
  else if (mode_ == kModeRsn) rsn_.RsnAuthIndication(flags, network_->bssid);
}

void LinkEngine::ReceivePmkidCandidates(std::uint32_t count, const PmkidCandidate* candidates) {
  if (mode_ == kModeRsn) rsn_.SetCandidates(count, candidates);
}

void LinkEngine::CckmStartReassociation(const std::uint8_t timestamp[8],
                                        const std::uint8_t bssid[6]) {
  wpa_.CckmStart(timestamp, bssid);
}

void LinkEngine::FlushCachedSecurityAssociations() {
  wpa_.CckmFlush();
  rsn_.Flush();
  preauth_.Stop();
}

void LinkEngine::ReceivePreauthEapol(const std::uint8_t* source, const std::uint8_t* frame,
                                     std::uint32_t length) {
  preauth_.Receive(source, frame, length);
  Step();
}

void LinkEngine::PrecomputeWpaPsk(const char* passphrase, std::uint32_t length,
                                  const std::uint8_t* ssid, std::uint32_t ssidLength) {
  std::uint8_t psk[kPskLength];
  pskCache_.Get(reinterpret_cast<const std::uint8_t*>(passphrase), length, ssid, ssidLength, psk);
  dcfWipe(psk, sizeof psk);
}

bool LinkEngine::NextPreauthCandidate(std::uint8_t bssid[6]) {
  return mode_ == kModeRsn && rsn_.NextPreauthCandidate(bssid);
}

void LinkEngine::AddPreauthPmk(const std::uint8_t bssid[6], const std::uint8_t* pmk,
                               std::uint32_t length) {
  if (mode_ == kModeRsn) rsn_.AddPmksa(bssid, pmk, length);
}

// ---- The engine step ----

void LinkEngine::Step() {
  const std::uint32_t now = plat::TickCount();
  const std::uint32_t elapsed = now - lastTick_;
  lastTick_ = now;
  Lower(keyTimer_, elapsed);
  Lower(guardTimer_, elapsed);
  pae_.ElapseTime(elapsed);
  preauth_.ElapseTime(elapsed);
  timer_.ElapseTime(elapsed);

  RunStateMachine();
  preauth_.Step();
  timer_.Signal(LinkTimerMachine::kTick);

  // Time spent inside the step (a TLS handshake, PBKDF2) does not count against the
  // authentication timers; the timer machine loses it once, at the next step.
  const std::uint32_t spent = plat::TickCount() - lastTick_;
  if (spent != 0) {
    if (guardTimer_ != 0) guardTimer_ += spent;
    pae_.CompensateTime(spent);
    preauth_.CompensateTime(spent);
  }
}

void LinkEngine::RunStateMachine() {
  if (!initialized_) return;
  if (terminated_ && state_ != kIdle) {
    EnterIdle();
    return;
  }
  for (int pass = 0; pass < kMaxPasses; ++pass) {
    if (state_ == kIdle) {
      pending_ &= ~kBits1To3;
      if (terminated_ || pending_ == 0) return;
      EventLoop();
    } else if (pending_ != 0 || state_ == kNotStarted) {
      // The first step after Initialize finds no state yet: it goes to idle through the
      // event loop, as a state with pending events would.
      EventLoop();
    } else if (!StateWork()) {
      return;
    }
  }
  if (TraceEnabled(TraceLevel::Error))
    traceError(TraceCategory::Eap, nullptr, 0, "Link state machine did not settle\n");
}

void LinkEngine::EventLoop() {
  pae_.ReleaseMethod();
  masterKeysPending_ = false;
  if ((pending_ & (kPortDownBit | kKeyFailureBit)) != 0 || (pending_ & kPortUpBit) == 0) {
    EnterIdle();
    return;
  }
  pending_ &= ~kPortUpBit;
  PortUpWork();
}

void LinkEngine::EnterIdle() {
  preauth_.SetActive(false);
  pae_.SetPortActive(false);
  pae_.SetInitialize(true);
  callbacks_.Status(KSSTK_LINK_STATUS_IDLE);
  timer_.Signal(LinkTimerMachine::kLinkDown);
  state_ = kIdle;
  pending_ &= ~kBits1To3;
}

void LinkEngine::PortUpWork() {
  const NetworkInfo& network = *network_;
  preauth_.SetActive(false);
  pae_.SetEapolVersion(1);
  if (!SameSsid(network.ssid, lastSsid_) || network.networkType != lastNetworkType_) {
    lastSsid_ = network.ssid;
    lastNetworkType_ = network.networkType;
    timer_.Signal(LinkTimerMachine::kLinkDown);
  }
  timer_.Signal(LinkTimerMachine::kPortUp);
  reconnectStep_ = 0;
  pae_.SetPortActive(true);

  if (network.AdHoc()) {
    if (network.keySource == KSSTK_KEY_SOURCE_PASSPHRASE && network.WpaOrRsn()) InstallAdHocKey();
    EnterConnected();
    return;
  }
  ChooseMode();
  if (KeyHandler* handler = ModeHandler()) {
    handler->SetSupplicantIes(network.supplicantIe.Data(), network.supplicantIe.Length());
    handler->SetAuthenticatorIes(network.authenticatorIe.Data(), network.authenticatorIe.Length());
    handler->SetAddresses(network.bssid, network.stationAddress);
  }

  if (!network.Runs8021X()) {
    if (!network.WpaOrRsn() || network.keySource == KSSTK_KEY_SOURCE_NONE) {
      EnterConnected();
      return;
    }
    noticesPending_ = true;
    masterKeysPending_ = true;
    keyTimer_ = kKeyTimeout;
    callbacks_.Status(KSSTK_LINK_STATUS_WAITING_FOR_PSK_KEYS);
    state_ = kAwaitingPskKeys;
    return;
  }

  noticesPending_ = true;
  KeyHandler* handler = ModeHandler();
  if (network.WpaOrRsn() && network.keySource != KSSTK_KEY_SOURCE_NONE && handler != nullptr &&
      handler->ProcessReassociationIes(network.associationResponseIe.Data(),
                                       network.associationResponseIe.Length())) {
    callbacks_.Status(KSSTK_LINK_STATUS_FAST_RECONNECTED);
    timer_.Signal(LinkTimerMachine::kConnected);
    ConnectNotices();
    pae_.ReleaseMethod();
    masterKeysPending_ = false;
    preauth_.SetActive(true);
    state_ = kAuthenticated;
    return;
  }
  reconnectStep_ = 1;
  guardArmed_ = true;
  guardTimer_ = kGuardTime;
  pae_.SetInitialize(true);
  pae_.SetInitialize(false);
  callbacks_.Status(KSSTK_LINK_STATUS_AUTHENTICATING);
  state_ = kAuthenticating;
}

bool LinkEngine::StateWork() {
  const State before = state_;
  const NetworkInfo& network = *network_;
  switch (state_) {
    case kNotStarted:
    case kIdle:
      return false;
    case kAuthenticating:
      Consume();
      if (reconnectStep_ == 2 || reconnectStep_ == 3) {
        masterKeysPending_ = false;
        keyTimer_ = kKeyTimeout;
        pae_.SetInitialize(true);
        callbacks_.Status(KSSTK_LINK_STATUS_WAITING_FOR_PSK_KEYS);
        state_ = kCachedReconnect;
      } else if (!pae_.Authorized()) {
        if (guardArmed_ && guardTimer_ == 0) {
          guardArmed_ = false;
          NasNotice(KSSTK_NAS_FAILURE_GUARD_TIME);
        }
      } else {
        guardArmed_ = false;
        reconnectStep_ = 0;
        if (pae_.NoAuthenticatorFlag()) {
          callbacks_.Status(KSSTK_LINK_STATUS_NO_AUTHENTICATOR);
          timer_.Signal(LinkTimerMachine::kConnected);
          state_ = kNoAuthenticator;
        } else if (network.keySource == KSSTK_KEY_SOURCE_NONE ||
                   (network.keySource == KSSTK_KEY_SOURCE_PASSPHRASE && !network.WpaOrRsn())) {
          EnterAuthenticated();
        } else {
          keyTimer_ = kKeyTimeout;
          callbacks_.Status(KSSTK_LINK_STATUS_WAITING_FOR_KEYS);
          state_ = kAwaitingKeys;
        }
      }
      break;
    case kCachedReconnect:
      Consume();
      if (reconnectStep_ == 3) {
        reconnectStep_ = 0;
        pae_.SetInitialize(false);
        EnterAuthenticated();
      } else if (keyTimer_ == 0) {
        reconnectStep_ = 0;
        KeyTimeout();
        pending_ |= kKeyFailureBit;
      }
      break;
    case kAwaitingKeys:
      Consume();
      if (!pae_.Authorized()) {
        EnterReauthentication();
      } else if (KeysComplete()) {
        EnterAuthenticated();
      } else if (keyTimer_ != 0) {
        // Dynamic WEP: once one of the two keys came, the other gets a second at most.
        if (mode_ == kModeDynamicWep && (unicastKeyReceived_ || broadcastKeyReceived_) &&
            keyTimer_ > 1000)
          keyTimer_ = 1000;
      } else if (mode_ == kModeDynamicWep && (unicastKeyReceived_ || broadcastKeyReceived_)) {
        EnterAuthenticated();
      } else {
        KeyTimeout();
        pending_ |= kKeyFailureBit;
      }
      break;
    case kAuthenticated:
      Consume();
      if (pae_.Authorized() && pae_.NoAuthenticatorFlag()) {
        callbacks_.Status(KSSTK_LINK_STATUS_NO_AUTHENTICATOR);
        timer_.Signal(LinkTimerMachine::kConnected);
        state_ = kNoAuthenticator;
      } else if (!pae_.Authorized()) {
        EnterReauthentication();
      }
      break;
    case kAwaitingPskKeys:
      Consume();
      if (KeysComplete()) EnterConnected();
      else if (keyTimer_ == 0) KeyTimeout();  // reported on every step until the port goes down
      break;
    case kConnected:
      Consume();
      break;
    case kNoAuthenticator:
      Consume();
      if (!pae_.Authorized()) EnterReauthentication();
      else if (!pae_.NoAuthenticatorFlag()) EnterAuthenticated();
      break;
  }
  return state_ != before || pending_ != 0;
}

void LinkEngine::Consume() {
  pae_.Step();
  if (pendingFrame_ == nullptr) return;
  const std::uint8_t* frame = pendingFrame_;
  const std::uint32_t length = pendingLength_;
  pendingFrame_ = nullptr;
  pendingLength_ = 0;
  ReceiveFrame(frame, length);
  pae_.Step();
}

void LinkEngine::KeyTimeout() {
  if (TraceEnabled(TraceLevel::Error))
    traceError(TraceCategory::Keys, nullptr, 0, "Timeout waiting for key\n");
  callbacks_.LinkFailure(kKeyTimeoutReason);
}

// The keys are in place: the key timer stops (no state reads it any more, and it would only
// wake the host for nothing).
void LinkEngine::EnterAuthenticated() {
  keyTimer_ = 0;
  callbacks_.Status(KSSTK_LINK_STATUS_AUTHENTICATED);
  timer_.Signal(LinkTimerMachine::kConnected);
  ConnectNotices();
  pae_.ReleaseMethod();
  masterKeysPending_ = false;
  preauth_.SetActive(true);
  state_ = kAuthenticated;
}

void LinkEngine::EnterConnected() {
  keyTimer_ = 0;
  callbacks_.Status(KSSTK_LINK_STATUS_CONNECTED_WITHOUT_8021X);
  timer_.Signal(LinkTimerMachine::kConnected);
  ConnectNotices();
  state_ = kConnected;
}

void LinkEngine::EnterReauthentication() {
  preauth_.SetActive(false);
  pae_.ReleaseMethod();
  masterKeysPending_ = false;
  guardArmed_ = false;
  timer_.Signal(LinkTimerMachine::kLinkDown);
  pae_.SetInitialize(true);
  pae_.SetInitialize(false);
  callbacks_.Status(KSSTK_LINK_STATUS_AUTHENTICATING);
  state_ = kAuthenticating;
}

void LinkEngine::ConnectNotices() {
  if (!noticesPending_) return;
  const NetworkInfo& network = *network_;
  const std::uint32_t eapType = EapTypeInUse();
  callbacks_.ConnectedNetwork(eapType, network.ssid.Data(), network.ssid.Length(), network.bssid);
  callbacks_.ConnectedBssid(eapType, network.bssid);
  noticesPending_ = false;
}

void LinkEngine::NasNotice(std::uint16_t reason) {
  const dcfString nasid = pae_.FindIdentityValue("nasid");
  callbacks_.AuthFailedNas(EapTypeInUse(), reason, network_->bssid, nasid.CStr());
}

std::uint32_t LinkEngine::EapTypeInUse() const {
  std::uint32_t type = 0;
  return pae_.GetEapType(type) ? type : 0;
}

bool LinkEngine::KeysComplete() const {
  switch (mode_) {
    case kModeDynamicWep: return unicastKeyReceived_ && broadcastKeyReceived_;
    case kModeWpa: return wpa_.HandshakeComplete();
    case kModeRsn: return rsn_.HandshakeComplete();
    default: return false;
  }
}

// ---- EAPOL frames ----

void LinkEngine::ReceiveFrame(const std::uint8_t* frame, std::uint32_t length) {
  EapolHeader header;
  if (ReceiveEapolFrame(pae_, frame, length, header) == EapolReceived::kKey)
    DispatchKey(frame, length);
}

void LinkEngine::DispatchKey(const std::uint8_t* frame, std::uint32_t length) {
  switch (mode_) {
    case kModeWpa: wpa_.wpa_receive_key(frame, length); return;
    case kModeRsn: rsn_.rsn_receive_key(frame, length); return;
    case kModeDynamicWep: ReceiveLegacyKey(frame, length); return;
    case kModeNone: return;
  }
}

void LinkEngine::ReceiveLegacyKey(const std::uint8_t* frame, std::uint32_t length) {
  if (!masterKeysAvailable_) SetMasterKeys();
  if (!masterKeysAvailable_) {
    KeysError("EAPOL-Key message discarded: master keys not available\n");
    return;
  }
  LegacyKey key;
  if (!ReadLegacyKeyDescriptor(frame, length, encryptionKey_, signatureKey_, key)) {
    if (TraceEnabled(TraceLevel::Error))
      traceError(TraceCategory::Keys, frame, length,
                 "EAPOL-Key message discarded: parsing or validation error\n");
    return;
  }
  // A descriptor is accepted once: an older or repeated one is a replay.
  if (legacyCounterSeen_ && key.replayCounter <= legacyReplayCounter_) {
    KeysError("EAPOL-Key message discarded: replay counter not increased\n");
    return;
  }
  legacyCounterSeen_ = true;
  legacyReplayCounter_ = key.replayCounter;
  if (key.key.Empty()) return;
  InstallWepKey(key.key.Data(), key.key.Length(), key.index);
  if (key.index & 0x80000000u) unicastKeyReceived_ = true;
  else broadcastKeyReceived_ = true;
}

// ---- Master keys ----

bool LinkEngine::SetMasterKeys() {
  if (!masterKeysPending_) return true;
  if (TraceEnabled(TraceLevel::Event))
    traceEvent(TraceCategory::Keys, nullptr, 0, "Setting master session key(s)\n");
  const NetworkInfo& network = *network_;
  if (network.keySource == KSSTK_KEY_SOURCE_PASSPHRASE) {
    if (!network.WpaOrRsn()) {
      KeysError("Cannot set WPA key from passphrase: association mode not WPA or RSN\n");
      return false;
    }
    std::uint8_t psk[kPskLength];
    if (!NetworkPsk(psk)) return false;
    if (KeyHandler* handler = ModeHandler()) handler->SetPmk(psk, kPskLength);
    dcfWipe(psk, sizeof psk);
    keysSet_ = true;
    masterKeysPending_ = false;
    return true;
  }
  std::uint8_t keys[64];
  bool isShort = false;
  if (!pae_.GetMethodKeys(keys, isShort)) {
    KeysError("Cannot set master key: authentication not complete or method does not support "
              "session keys\n");
    return false;
  }
  if (TraceEnabled(TraceLevel::Detail))
    traceDetail(TraceCategory::Keys, keys, sizeof keys, "Master signature/encryption keys\n");
  // Short keys (16 bytes) sign and encrypt with the same bytes.
  const std::uint32_t half = isShort ? 16 : 32;
  const std::uint8_t* second = isShort ? keys : keys + 32;
  if (mode_ == kModeDynamicWep) {
    encryptionKey_.Assign(keys, half);
    signatureKey_.Assign(second, half);
    masterKeysAvailable_ = true;
  } else if (KeyHandler* handler = ModeHandler()) {
    handler->SetPmk(keys, half);
  }
  dcfWipe(keys, sizeof keys);
  if (mode_ != kModeNone) keysSet_ = true;
  masterKeysPending_ = false;
  return true;
}

bool LinkEngine::NetworkPsk(std::uint8_t psk[kPskLength]) {
  const NetworkInfo& network = *network_;
  return pskCache_.Get(network.passphrase.Data(), network.passphrase.Length(), network.ssid.Data(),
                       network.ssid.Length(), psk);
}

void LinkEngine::InstallAdHocKey() {
  std::uint8_t psk[kPskLength];
  if (!NetworkPsk(psk)) return;  // no pass phrase: nothing installed (traced)
  if (TraceEnabled(TraceLevel::Detail))
    traceDetail(TraceCategory::Keys, psk, kPskLength,
                "Setting ad-hoc WPA key from passphrase, index = %08X\n", kAdHocKeyIndex);
  callbacks_.AddKey(AdHocSelector(network_->cipher), kAdHocKeyIndex, psk, kPskLength, nullptr, 0, 0);
  dcfWipe(psk, sizeof psk);
}

void LinkEngine::ChooseMode() {
  const NetworkInfo& network = *network_;
  switch (network.associationMode) {
    case KSSTK_ASSOCIATION_8021X:
    case KSSTK_ASSOCIATION_STATIC:
      mode_ = kModeDynamicWep;
      break;
    case KSSTK_ASSOCIATION_RSN:
      mode_ = kModeRsn;
      break;
    case KSSTK_ASSOCIATION_WPA: {
      IeSet elements;
      elements.Walk(network.supplicantIe.Data(), network.supplicantIe.Length());
      mode_ = elements.Rsn().Present() ? kModeRsn : kModeWpa;
      break;
    }
    default:
      mode_ = kModeNone;
  }
  keysSet_ = false;
  encryptionKey_.Clear();
  signatureKey_.Clear();
  legacyReplayCounter_ = 0;
  legacyCounterSeen_ = false;
  unicastKeyReceived_ = broadcastKeyReceived_ = masterKeysAvailable_ = false;
  wpa_.Reset();
  rsn_.Reset();
}

KeyHandler* LinkEngine::ModeHandler() {
  if (mode_ == kModeWpa) return &wpa_;
  if (mode_ == kModeRsn) return &rsn_;
  return nullptr;
}

// ---- Key handler services ----

void LinkEngine::TransmitEapolKey(const std::uint8_t* frame, std::uint32_t length) {
  if (TraceEnabled(TraceLevel::Event))
    traceEvent(TraceCategory::Keys, frame, length, "Transmitting EAPOL-Key\n");
  callbacks_.SendEapol(0, frame, length);
}

void LinkEngine::InstallKey(std::uint32_t suite, const std::uint8_t* key, std::uint32_t length,
                            std::uint32_t index, const std::uint8_t* bssid, std::uint32_t rscLow,
                            std::uint32_t rscHigh) {
  const NetworkInfo& network = *network_;
  if (!network.WpaOrRsn()) {
    KeysError("WPA key not instantiated: association not WPA or RSN\n");
    return;
  }
  if (network.keySource == KSSTK_KEY_SOURCE_EAP && !pae_.SynthesizeSuccess()) {
    KeysError("WPA key not instantiated: not authenticated\n");
    return;
  }
  if (TraceEnabled(TraceLevel::Event))
    traceEvent(TraceCategory::Keys, nullptr, 0, "Instantiating WPA key, index %08X, RSC = %08X%08X\n",
               index, rscHigh, rscLow);
  callbacks_.AddKey(suite, index, key, length, bssid, rscLow, rscHigh);
}

void LinkEngine::InstallWepKey(const std::uint8_t* key, std::uint32_t length, std::uint32_t index) {
  const NetworkInfo& network = *network_;
  if (network.cipher != KSSTK_CIPHER_WEP) {
    KeysError("WEP key not instantiated: encryption type not WEP\n");
    return;
  }
  if (network.keySource == KSSTK_KEY_SOURCE_EAP && !pae_.SynthesizeSuccess()) {
    KeysError("WEP key not instantiated: not authenticated\n");
    return;
  }
  if (TraceEnabled(TraceLevel::Event))
    traceEvent(TraceCategory::Keys, nullptr, 0, "Instantiating WEP key, index %08X, size = %u\n",
               index, length);
  callbacks_.SetWepKey(index, key, length);
}

void LinkEngine::RemoveKey(std::uint32_t index, const std::uint8_t* bssid) {
  static const std::uint8_t kNone[6] = {};
  const std::uint8_t* b = bssid != nullptr ? bssid : kNone;
  if (TraceEnabled(TraceLevel::Event))
    traceEvent(TraceCategory::Keys, nullptr, 0,
               "Removing WPA key, index = %08X, BSSID = %02X%02X%02X%02X%02X%02X\n", index, b[0],
               b[1], b[2], b[3], b[4], b[5]);
  callbacks_.DeleteKey(index, b);
}

void LinkEngine::SendCckmElement(std::uint32_t kind, const std::uint8_t* element,
                                 std::uint32_t length) {
  callbacks_.CckmRequest(kind, element, length);
}

void LinkEngine::CckmResult(std::uint32_t result) {
  if (result == 0) pae_.FastReconnect("CCKM");
  callbacks_.CckmResult(result);
}

void LinkEngine::ReportKeyFailure(std::uint32_t reason) {
  pending_ |= kKeyFailureBit;
  callbacks_.LinkFailure(reason);
}

void LinkEngine::PmksaCacheHit() {
  if (reconnectStep_ == 1) reconnectStep_ = 2;
}

void LinkEngine::CachedHandshakeDone() {
  if (reconnectStep_ != 2) return;
  masterKeysPending_ = false;
  pae_.FastReconnect("RSN reconnect");
  reconnectStep_ = 3;
}

void LinkEngine::SetPmkidList(std::uint32_t count, const std::uint8_t* entries) {
  static_assert(sizeof(PmkidEntry) == 22);
  callbacks_.SetPmkidList(count, reinterpret_cast<const PmkidEntry*>(entries));
}

// ---- PAE services ----

void LinkEngine::KeysInvalidated() {
  if (reconnectStep_ == 1) reconnectStep_ = 0;
  keysSet_ = false;
  if (mode_ == kModeRsn) rsn_.ForgetNegotiation();
  masterKeysPending_ = true;
  LinkPaeServices::KeysInvalidated();
}

void LinkEngine::AuthenticationFailed(std::uint32_t status) {
  NasNotice((status & 0xFFF000u) == 0x9000u ? KSSTK_NAS_FAILURE_METHOD_REFUSED
                                              : KSSTK_NAS_FAILURE_OTHER);
}
