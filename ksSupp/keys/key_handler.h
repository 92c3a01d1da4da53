#pragma once
// The keying state of one association, shared by the WPA and the RSN key handler: PMK,
// addresses, nonces, the PTK being negotiated and the one in force, replay counters and
// the element sets of both sides; the pairwise key expansion, the checks every EAPOL-Key
// frame passes, key hand-over and EAPOL-Key requests.
#include <cstdint>

#include <collections/dcfByteArray.h>

#include "ksSupp/keys/eapol_key_frame.h"
#include "ksSupp/keys/ie_set.h"

class KeyHandlerServices;

constexpr uint32_t kMacLength = 6;
constexpr uint32_t kKckLength = 16;
constexpr uint32_t kTemporalKeyOffset = 32;  // PTK = KCK (16) | KEK (16) | TK
constexpr uint32_t kCckmKeyRequestIndex = 0xFFFFFFFF;

// Reasons handed to ReportKeyFailure.
constexpr uint32_t kKeyFailureElement = 2;
constexpr uint32_t kKeyFailureGroupKey = 3;
constexpr uint32_t kKeyFailureKeyData = 4;
constexpr uint32_t kKeyFailureCckm = 6;

// CCKM fast-roaming state (used when the supplicant's AKM is 00-40-96-00).
struct CckmState {
  uint32_t state = 0;  // 0 none, 1 fast handoff requested, 2 base key established
  uint32_t rn = 0;     // reassociation number; 1 once the first PTK is committed
  SecureByteArray savedSupplicantIe;
  SecureByteArray btk;  // 48 bytes: KRK in 0..15, BTK in 16..47
  uint32_t keyLength = 0;
};

class KeyHandler {
 public:
  KeyHandler(bool isRsn, KeyHandlerServices& services);
  KeyHandler(const KeyHandler&) = delete;
  KeyHandler& operator=(const KeyHandler&) = delete;
  virtual ~KeyHandler();

  // A new association begins: forget every key, nonce, counter and element.
  virtual void Reset();
  void SetAddresses(const uint8_t authenticator[kMacLength], const uint8_t supplicant[kMacLength]);
  // The authenticator's elements from the beacon or probe response; empty changes nothing.
  void SetAuthenticatorIes(const uint8_t* bytes, uint32_t length);
  // The elements of the association request.
  void SetSupplicantIes(const uint8_t* bytes, uint32_t length);
  virtual void SetPmk(const uint8_t* pmk, uint32_t length);

  // A new 802.1X authentication began: the handshake being negotiated is void (the PTK in
  // force stays until a new one replaces it).
  void ForgetNegotiation() {
    ptk_.Free();
    snonceDrawn_ = 0;
  }
  // A PTK is in force and the group key has arrived (the Secure bit was seen).
  bool HandshakeComplete() const;

  // CCKM fast roaming. Before a reassociation the host names the target access point; the
  // handler answers through SendCckmElement with the request element for the reassociation
  // request (kind 1), or with none (kind 0) when no base key is established and a full
  // association must run.
  void CckmStart(const uint8_t timestamp[8], const uint8_t bssid[kMacLength]);
  // The elements of the reassociation response: true when their CCKM response element
  // checked out and fresh pairwise and group keys were handed to the host.
  bool ProcessReassociationIes(const uint8_t* bytes, uint32_t length);
  void CckmFlush() { cckm_.state = 0; }

  // The RSN element (isRsn) or the WPA element of each side.
  const SecurityElement& AuthenticatorElement() const;
  const SecurityElement& SupplicantElement() const;
  uint32_t SupplicantGroupSuite() const;
  uint32_t SupplicantPairwiseSuite() const;
  uint32_t SupplicantAkmSuite() const;

  // Pairwise key expansion for a message 1 (keeps the SNonce of the running handshake).
  void derive_ptk(const uint8_t anonce[eapol_key::kNonceLength], uint32_t keyLength);
  // Message 3 accepted: the negotiated PTK comes into force.
  void CommitPtk(uint32_t descriptorVersion, uint32_t keyLength);

  const SecureByteArray& Pmk() const { return pmk_; }
  const SecureByteArray& Ptk() const { return ptk_; }
  const SecureByteArray& InstalledPtk() const { return installedPtk_; }
  const uint8_t* ANonce() const { return nonces_; }
  const uint8_t* SNonce() const { return nonces_ + eapol_key::kNonceLength; }
  uint64_t ReplayCounter() const { return replayCounter_; }
  const CckmState& Cckm() const { return cckm_; }

 protected:
  // What an answer echoes of the frame it answers.
  struct Reply {
    uint8_t eapolVersion;  // min(received, 2)
    uint32_t descriptorVersion;
    uint16_t keyLength;
    uint64_t replayCounter;
  };

  // One EAPOL-Key frame from the authenticator: the checks every frame passes, then message
  // 1, message 3 or a group message. True when accepted and answered.
  bool ReceiveKey(const uint8_t* frame, uint32_t length);
  virtual bool Message1(const EapolKeyFrame& frame, const Reply& reply) = 0;
  virtual bool Message3(const EapolKeyFrame& frame, const Reply& reply) = 0;
  virtual bool GroupMessage(const EapolKeyFrame& frame, const Reply& reply) = 0;

  // Descriptor type 2 (RSN) or 254 (WPA).
  uint8_t DescriptorType() const;
  // An answer signed with micKey that echoes the descriptor version, Key Length and replay
  // counter received.
  static EapolKeyWriter Answer(const Reply& reply, uint16_t keyInformation, const uint8_t* micKey);
  bool Send(const EapolKeyWriter& frame);

  // Traces the addresses and both elements of the handshake about to start.
  void TraceElements() const;
  // Message 2: the SNonce and the supplicant's element, signed with the new PTK.
  bool SendMessage2(const Reply& reply);
  // The checks of message 3 up to its MIC, then the replay counter. Returns the PTK the MIC
  // verified against, or null (refused, traced after `refusal`). A message 3 that repeats
  // the one already accepted (its message 4 was lost) is checked against the PTK in force
  // and flagged as retransmitted: it is answered but installs nothing again.
  const SecureByteArray* VerifyMessage3(const EapolKeyFrame& frame, const Reply& reply,
                                        const char* refusal, bool& retransmitted);
  // The authenticator's element signed in message 3 against the one of the beacon or probe
  // response (when that is known). False refuses (traced after `refusal`, reported).
  bool CheckSignedElement(const uint8_t* element, uint32_t length, bool present,
                          const char* refusal);
  // Message 4: Key Information keeps the version and the Secure bit of message 3.
  void SendMessage4(const Reply& reply, uint16_t message3Information);
  // The checks of a group message up to its MIC, then the replay counter.
  bool VerifyGroupMessage(const EapolKeyFrame& frame, const Reply& reply);
  // The acknowledgement keeps `keptBits` of the group message's Key Information.
  bool SendGroupAck(const Reply& reply, uint16_t groupInformation, uint16_t keptBits);

  // A frame with a valid MIC raises the lowest acceptable counter past its own; the
  // highest counter leaves nothing acceptable after it instead of wrapping to 0.
  void AcceptReplayCounter(uint64_t received);
  // The key length a cipher suite needs (0: a suite of no known length).
  static uint32_t CipherKeyLength(uint32_t suite);
  bool PairwiseKeyLengthValid(uint32_t keyLength) const;
  bool GroupKeyLengthValid(uint32_t keyLength) const;
  // Hand-over of the temporal key of the PTK in force, once per PTK.
  void InstallPairwiseKey(uint32_t keyLength, uint32_t keyIndex, uint32_t rscLow, uint32_t rscHigh);
  // Hand-over of a group key, unless this very key is already installed at this index.
  void InstallGroupKey(const uint8_t* key, uint32_t keyLength, uint32_t keyIndex,
                       uint32_t rscLow, uint32_t rscHigh);
  // Reaction to an authentication event of the host (MIC failure, rekey request).
  void AuthIndication(uint32_t flags, const uint8_t* bssid, const char* kind, uint8_t eapolVersion);
  // The KCK that signs message 2 (the KRK of the base key with CCKM).
  const uint8_t* Message2MicKey() const;
  // A PTK from the CCKM base key: PRF(BTK, RN | AA).
  void DeriveCckmPtk(uint32_t rn, uint8_t* ptk, uint32_t length) const;

  const bool isRsn_;
  KeyHandlerServices& services_;
  SecureByteArray pmk_;
  uint8_t authenticatorAddress_[kMacLength] = {};
  uint8_t supplicantAddress_[kMacLength] = {};
  IeSet authenticatorIes_;
  IeSet supplicantIes_;
  uint8_t authenticatorIesKnown_ = 0;
  uint8_t nonces_[2 * eapol_key::kNonceLength] = {};  // ANonce | SNonce
  SecureByteArray ptk_;
  SecureByteArray installedPtk_;
  uint8_t snonceDrawn_ = 0;
  uint32_t descriptorVersion_ = 0;
  uint8_t groupSecured_ = 0;
  uint64_t replayCounter_ = 0;
  bool replayCounterExhausted_ = false;
  uint64_t requestCounter_ = 0;
  uint8_t cckmInUse_ = 0;
  CckmState cckm_;
  // What was handed to the host, so that a retransmitted or replayed message with the same
  // key does not install it again (which would reset the driver's packet numbers).
  bool pairwiseKeyInstalled_ = false;
  SecureByteArray installedGroupKey_;
  uint32_t installedGroupKeyIndex_ = 0;

 private:
  // The checks every EAPOL-Key frame passes first, in order, each refusal traced.
  bool CheckFrame(const uint8_t* frame, uint32_t length);
  // Checks a CCKM response element and installs the keys it brings; false refuses it
  // (traced).
  bool AcceptCckmResponse(const CckmElement& response);
};
