#include "ksSupp/keys/key_handler.h"

#include <algorithm>
#include <cstring>

#include <dcf/dcfWipe.h>
#include <dcf/dcfMD5Stream.h>

#include "ksSupp/keys/key_derivation.h"
#include "ksSupp/keys/key_handler_services.h"
#include "ksSupp/keys/key_trace.h"

using namespace eapol_key;

namespace {

constexpr uint32_t kPtkPrfLength = 32;  // PTK length = this + max(Key Length, 32)
constexpr uint32_t kMaxKeyLength = 256;

// first | second, the smaller first as unsigned byte strings (equal: a first).
void AppendOrdered(uint8_t*& out, const uint8_t* a, const uint8_t* b, uint32_t length) {
  const bool aFirst = std::memcmp(a, b, length) <= 0;
  std::memcpy(out, aFirst ? a : b, length);
  std::memcpy(out + length, aFirst ? b : a, length);
  out += 2 * length;
}

bool SameNonce(const uint8_t* a, const uint8_t* b) { return std::memcmp(a, b, kNonceLength) == 0; }

void Refuse(const char* refusal, const char* reason) {
  KeyTrace(kTraceError, nullptr, 0, "%s%s", refusal, reason);
}

void TraceElement(const IeElement& element, const char* side, const char* kind) {
  if (element.Length() == 0)
    KeyTrace(kTraceWarning, nullptr, 0, "Warning: %s %s information element is empty\n", side, kind);
  else
    KeyTrace(kTraceDetail, element.Bytes(), element.Length(), "%s %s information element:\n", side, kind);
}

}  // namespace

KeyHandler::KeyHandler(bool isRsn, KeyHandlerServices& services)
    : isRsn_(isRsn), services_(services) {}

KeyHandler::~KeyHandler() {
  dcfWipe(nonces_, sizeof nonces_);
}

void KeyHandler::Reset() {
  pmk_.Free();
  authenticatorIesKnown_ = 0;
  cckmInUse_ = 0;
  ptk_.Free();
  installedPtk_.Free();
  snonceDrawn_ = 0;
  descriptorVersion_ = 0;
  groupSecured_ = 0;
  replayCounter_ = 0;
  replayCounterExhausted_ = false;
  requestCounter_ = 0;
  authenticatorIes_.Clear();
  supplicantIes_.Clear();
  if (cckm_.state == 2) cckm_.state = 0;  // a requested fast handoff survives the reassociation
  pairwiseKeyInstalled_ = false;
  installedGroupKey_.Free();
  installedGroupKeyIndex_ = 0;
}

void KeyHandler::SetAddresses(const uint8_t authenticator[kMacLength],
                              const uint8_t supplicant[kMacLength]) {
  // Keys handed over for one access point are not installed for another one yet.
  if (std::memcmp(authenticatorAddress_, authenticator, kMacLength) != 0) {
    pairwiseKeyInstalled_ = false;
    installedGroupKey_.Free();
  }
  std::memcpy(authenticatorAddress_, authenticator, kMacLength);
  std::memcpy(supplicantAddress_, supplicant, kMacLength);
}

void KeyHandler::SetAuthenticatorIes(const uint8_t* bytes, uint32_t length) {
  if (bytes == nullptr || length == 0) return;
  authenticatorIes_.Walk(bytes, length);
  authenticatorIesKnown_ = 1;
}

void KeyHandler::SetSupplicantIes(const uint8_t* bytes, uint32_t length) {
  if (bytes != nullptr) supplicantIes_.Walk(bytes, length);
  cckmInUse_ = SupplicantAkmSuite() == kCckmSuite ? 1 : 0;
}

void KeyHandler::SetPmk(const uint8_t* pmk, uint32_t length) {
  KeyTrace(kTraceDetail, pmk, length, "Setting PMK:\n");
  pmk_.Assign(pmk, length);
}

bool KeyHandler::HandshakeComplete() const {
  return installedPtk_.Length() >= kTemporalKeyOffset && groupSecured_ != 0;
}

const SecurityElement& KeyHandler::AuthenticatorElement() const {
  return isRsn_ ? static_cast<const SecurityElement&>(authenticatorIes_.Rsn())
                : authenticatorIes_.Wpa();
}

const SecurityElement& KeyHandler::SupplicantElement() const {
  return isRsn_ ? static_cast<const SecurityElement&>(supplicantIes_.Rsn()) : supplicantIes_.Wpa();
}

uint32_t KeyHandler::SupplicantGroupSuite() const {
  const SecurityElement& e = SupplicantElement();
  return e.Valid() ? e.GroupSuite() : isRsn_ ? kRsnSuiteNone : kWpaSuiteNone;
}

uint32_t KeyHandler::SupplicantPairwiseSuite() const {
  const SecurityElement& e = SupplicantElement();
  if (!e.Valid() || e.PairwiseSuites().Empty()) return isRsn_ ? kRsnSuiteNone : kWpaSuiteNone;
  return e.PairwiseSuites()[0];
}

uint32_t KeyHandler::SupplicantAkmSuite() const {
  const SecurityElement& e = SupplicantElement();
  if (!e.Valid() || e.AkmSuites().Empty()) return isRsn_ ? kRsnSuiteNone : kWpaSuiteNone;
  return e.AkmSuites()[0];
}

void KeyHandler::derive_ptk(const uint8_t anonce[kNonceLength], uint32_t keyLength) {
  uint8_t* snonce = nonces_ + kNonceLength;
  std::memcpy(nonces_, anonce, kNonceLength);
  if (!snonceDrawn_) {
    GetRandomBytes(snonce, kNonceLength);
    snonceDrawn_ = 1;
  }
  const uint32_t ptkLength = kPtkPrfLength + std::max(keyLength, kPtkPrfLength);
  ptk_.Resize(ptkLength);
  KeyTrace(kTraceDetail, pmk_.Data(), pmk_.Length(), "PMK:\n");

  if (!cckmInUse_) {
    uint8_t data[2 * kMacLength + 2 * kNonceLength];
    uint8_t* cursor = data;
    AppendOrdered(cursor, authenticatorAddress_, supplicantAddress_, kMacLength);
    AppendOrdered(cursor, nonces_, snonce, kNonceLength);
    prf_sha1(pmk_.Data(), pmk_.Length(), "Pairwise key expansion", -1, data, sizeof data,
             ptk_.Data(), ptkLength);
  } else {
    KeyTrace(kTraceEvent, nullptr, 0, "Using CCKM for first-time PTK calculation\n");
    uint8_t seed[2 * kMacLength + 2 * kNonceLength];
    std::memcpy(seed, authenticatorAddress_, kMacLength);
    std::memcpy(seed + kMacLength, supplicantAddress_, kMacLength);
    std::memcpy(seed + 2 * kMacLength, snonce, kNonceLength);
    std::memcpy(seed + 2 * kMacLength + kNonceLength, nonces_, kNonceLength);
    cckm_.btk.Resize(48);
    prf_sha1(pmk_.Data(), pmk_.Length(), "Fast-Roam Generate Base Key", -1, seed, sizeof seed,
             cckm_.btk.Data(), 48);
    DeriveCckmPtk(1, ptk_.Data(), ptkLength);
  }
  KeyTrace(kTraceDetail, ptk_.Data(), ptk_.Length(), "PTK:\n");
}

void KeyHandler::CommitPtk(uint32_t descriptorVersion, uint32_t keyLength) {
  installedPtk_.Assign(ptk_.Data(), ptk_.Length());
  descriptorVersion_ = descriptorVersion;
  pairwiseKeyInstalled_ = false;
  if (cckmInUse_) {
    const SecurityElement& element = SupplicantElement();
    cckm_.savedSupplicantIe.Assign(element.Bytes(), element.Length());
    cckm_.keyLength = keyLength;
    cckm_.state = 2;
    services_.InstallKey(0, cckm_.btk.Data(), 16, kCckmKeyRequestIndex, authenticatorAddress_, 0, 0);
  }
  snonceDrawn_ = 0;
  ptk_.Free();
  if (cckmInUse_) cckm_.rn = 1;
}

void KeyHandler::DeriveCckmPtk(uint32_t rn, uint8_t* ptk, uint32_t length) const {
  uint8_t rnAa[4 + kMacLength] = {static_cast<uint8_t>(rn), static_cast<uint8_t>(rn >> 8),
                                  static_cast<uint8_t>(rn >> 16), static_cast<uint8_t>(rn >> 24)};
  std::memcpy(rnAa + 4, authenticatorAddress_, kMacLength);
  prf_sha1(cckm_.btk.Data() + 16, 32, nullptr, 0, rnAa, sizeof rnAa, ptk, length);
}

const uint8_t* KeyHandler::Message2MicKey() const {
  return cckmInUse_ ? cckm_.btk.Data() : ptk_.Data();
}

bool KeyHandler::CheckFrame(const uint8_t* frame, uint32_t length) {
  if (frame == nullptr || length <= 4) {
    KeyTrace(kTraceError, nullptr, 0,
             "EAPOL-Key message discarded: too short to include key descriptor prefix\n");
    return false;
  }
  if (frame[kDescriptorType] != DescriptorType()) {
    KeyTrace(kTraceError, nullptr, 0, "EAPOL-Key message discarded: descriptor type not %s\n",
             isRsn_ ? "RSN" : "WPA");
    return false;
  }
  if (length <= kKeyData - 1) {
    KeyTrace(kTraceError, nullptr, 0, "EAPOL-Key message discarded: too short\n");
    return false;
  }
  const EapolKeyFrame f(frame, length);
  if (length < f.SignedLength()) {
    KeyTrace(kTraceError, nullptr, 0,
             "EAPOL-Key message discarded: shorter than required by key data length\n");
    return false;
  }
  const uint16_t info = f.KeyInformation();
  // A supplicant never receives requests: one that arrives is our own reflected back, whose
  // MIC is good and whose counter would move ours.
  if (info & kInfoRequest) {
    KeyTrace(kTraceError, nullptr, 0, "EAPOL-Key message discarded: Request bit set\n");
    return false;
  }
  // Key Data that is encrypted but not signed would be decrypted before anything proves
  // who sent it; whether we answer would then tell whether it unwrapped under our key.
  if ((info & kInfoEncryptedKeyData) && !(info & kInfoMic)) {
    KeyTrace(kTraceError, nullptr, 0,
             "EAPOL-Key message discarded: encrypted Key Data without MIC\n");
    return false;
  }
  const uint64_t counter = f.ReplayCounter();
  KeyTrace(kTraceDetail, nullptr, 0, "Received replay counter is %08X%08X\n",
           static_cast<unsigned>(counter >> 32), static_cast<unsigned>(counter));
  if (replayCounterExhausted_ || counter < replayCounter_) {
    KeyTrace(kTraceError, nullptr, 0, "EAPOL-Key message discarded: replay counter too low\n");
    return false;
  }
  if (f.KeyLength() > kMaxKeyLength) {
    KeyTrace(kTraceError, nullptr, 0, "EAPOL-Key message discarded: key length out of range (%d)\n",
             f.KeyLength());
    return false;
  }
  const uint32_t version = f.DescriptorVersion();
  if (version != 1 && version != 2) {
    KeyTrace(kTraceError, nullptr, 0, "EAPOL-Key message discarded: unknown version (%d)\n",
             static_cast<int>(version));
    return false;
  }
  KeyTrace(kTraceDetail, nullptr, 0, "EAPOL-Key message version = %d\n", static_cast<int>(version));
  return true;
}

bool KeyHandler::ReceiveKey(const uint8_t* frame, uint32_t length) {
  if (!CheckFrame(frame, length)) return false;
  const EapolKeyFrame f(frame, length);
  const Reply reply{std::min<uint8_t>(f.EapolVersion(), 2), f.DescriptorVersion(), f.KeyLength(),
                    f.ReplayCounter()};
  const uint16_t info = f.KeyInformation();
  if (!(info & kInfoPairwise)) return GroupMessage(f, reply);
  if (info & kInfoMic) return Message3(f, reply);
  return Message1(f, reply);
}

uint8_t KeyHandler::DescriptorType() const { return isRsn_ ? kDescriptorRsn : kDescriptorWpa; }

EapolKeyWriter KeyHandler::Answer(const Reply& reply, uint16_t keyInformation,
                                  const uint8_t* micKey) {
  EapolKeyWriter answer;
  answer.eapolVersion = reply.eapolVersion;
  answer.descriptorVersion = reply.descriptorVersion;
  answer.micKey = micKey;
  answer.keyInformation = keyInformation;
  answer.keyLength = reply.keyLength;
  answer.replayCounter = reply.replayCounter;
  return answer;
}

bool KeyHandler::Send(const EapolKeyWriter& frame) { return frame.Write(DescriptorType(), services_); }

void KeyHandler::TraceElements() const {
  const char* kind = isRsn_ ? "RSN" : "WPA";
  KeyTrace(kTraceDetail, authenticatorAddress_, kMacLength, "Authenticator address:\n");
  TraceElement(AuthenticatorElement(), "Authenticator", kind);
  KeyTrace(kTraceDetail, supplicantAddress_, kMacLength, "Supplicant address:\n");
  TraceElement(SupplicantElement(), "Supplicant", kind);
}

bool KeyHandler::SendMessage2(const Reply& reply) {
  KeyTrace(kTraceEvent, nullptr, 0, "Sending EAPOL-Key 4-way handshake message 2\n");
  const SecurityElement& element = SupplicantElement();
  EapolKeyWriter message2 = Answer(
      reply, static_cast<uint16_t>(reply.descriptorVersion | kInfoMic | kInfoPairwise), Message2MicKey());
  message2.nonce = SNonce();
  message2.keyData = element.Bytes();
  message2.keyDataLength = element.Length();
  return Send(message2);
}

const SecureByteArray* KeyHandler::VerifyMessage3(const EapolKeyFrame& frame, const Reply& reply,
                                                  const char* refusal, bool& retransmitted) {
  // Once a message 3 is accepted the negotiated PTK is in force. The authenticator sends
  // message 3 again when our message 4 was lost: that copy is checked against the PTK in
  // force and answered, but installs nothing a second time.
  retransmitted = ptk_.Length() < kTemporalKeyOffset &&
                  installedPtk_.Length() >= kTemporalKeyOffset && SameNonce(frame.Nonce(), ANonce());
  const SecureByteArray& ptk = retransmitted ? installedPtk_ : ptk_;
  if (ptk.Length() < kTemporalKeyOffset) {
    Refuse(refusal, "message 1 never received\n");
    return nullptr;
  }
  if (ptk.Length() < reply.keyLength + kTemporalKeyOffset || !PairwiseKeyLengthValid(reply.keyLength)) {
    Refuse(refusal, "message 3 key length is invalid\n");
    return nullptr;
  }
  if (!SameNonce(frame.Nonce(), ANonce())) {
    Refuse(refusal, "ANonce differs from message 1\n");
    return nullptr;
  }
  if (!eapol_key_mic(reply.descriptorVersion, ptk.Data(), frame.Bytes(), frame.Length())) {
    Refuse(refusal, "invalid MIC\n");
    return nullptr;
  }
  AcceptReplayCounter(reply.replayCounter);
  return &ptk;
}

bool KeyHandler::CheckSignedElement(const uint8_t* element, uint32_t length, bool present,
                                    const char* refusal) {
  if (!authenticatorIesKnown_) {
    KeyTrace(kTraceWarning, nullptr, 0,
             "Authenticator information element from beacon/probe not available - cannot validate\n");
    return true;
  }
  if (!present) {
    Refuse(refusal, "did not receive authenticator IE\n");
    services_.ReportKeyFailure(kKeyFailureElement);
    return false;
  }
  const SecurityElement& beacon = AuthenticatorElement();
  if (beacon.Length() != length || std::memcmp(beacon.Bytes(), element, length) != 0) {
    Refuse(refusal, "authenticator IE does not match\n");
    KeyTrace(kTraceDetail, beacon.Bytes(), beacon.Length(),
             "Unsigned authenticator IE (from beacon/probe):\n");
    KeyTrace(kTraceDetail, element, length, "Signed authenticator IE (from message 3):\n");
    services_.ReportKeyFailure(kKeyFailureElement);
    return false;
  }
  KeyTrace(kTraceDetail, nullptr, 0, "Authenticator IE has been validated\n");
  return true;
}

void KeyHandler::SendMessage4(const Reply& reply, uint16_t message3Information) {
  KeyTrace(kTraceEvent, nullptr, 0, "Sending EAPOL-Key 4-way handshake message 4\n");
  const uint16_t kept = message3Information & (kInfoVersionMask | kInfoSecure);
  EapolKeyWriter message4 =
      Answer(reply, static_cast<uint16_t>(kept | kInfoMic | kInfoPairwise), installedPtk_.Data());
  message4.nonce = SNonce();
  Send(message4);
}

bool KeyHandler::VerifyGroupMessage(const EapolKeyFrame& frame, const Reply& reply) {
  const char* refusal = "EAPOL-Key group key message discarded: ";
  if (!(frame.KeyInformation() & kInfoMic)) {
    Refuse(refusal, "no MIC\n");
    return false;
  }
  if (installedPtk_.Length() < kTemporalKeyOffset) {
    Refuse(refusal, "PTK not negotiated\n");
    return false;
  }
  if (!eapol_key_mic(reply.descriptorVersion, installedPtk_.Data(), frame.Bytes(), frame.Length())) {
    Refuse(refusal, "invalid MIC\n");
    return false;
  }
  AcceptReplayCounter(reply.replayCounter);
  return true;
}

bool KeyHandler::SendGroupAck(const Reply& reply, uint16_t groupInformation, uint16_t keptBits) {
  KeyTrace(kTraceEvent, nullptr, 0, "Sending EAPOL-Key group key acknowledgement\n");
  return Send(Answer(reply, static_cast<uint16_t>((groupInformation & keptBits) | kInfoMic),
                     installedPtk_.Data()));
}

void KeyHandler::AcceptReplayCounter(uint64_t received) {
  if (received == UINT64_MAX) {
    replayCounter_ = UINT64_MAX;
    replayCounterExhausted_ = true;
  } else {
    replayCounter_ = received + 1;
  }
}

uint32_t KeyHandler::CipherKeyLength(uint32_t suite) {
  if ((suite & 0xFFFFFF00) != kRsnSuiteNone && (suite & 0xFFFFFF00) != kWpaSuiteNone) return 0;
  switch (suite & 0xFF) {
    case 1: return 5;    // WEP-40
    case 2: return 32;   // TKIP
    case 4: return 16;   // CCMP
    case 5: return 13;   // WEP-104
    default: return 0;
  }
}

bool KeyHandler::PairwiseKeyLengthValid(uint32_t keyLength) const {
  const uint32_t needed = CipherKeyLength(SupplicantPairwiseSuite());
  return needed != 0 ? keyLength == needed : keyLength >= 1 && keyLength <= 32;
}

bool KeyHandler::GroupKeyLengthValid(uint32_t keyLength) const {
  const uint32_t needed = CipherKeyLength(SupplicantGroupSuite());
  return needed != 0 ? keyLength == needed : keyLength >= 5 && keyLength <= 32;
}

void KeyHandler::InstallPairwiseKey(uint32_t keyLength, uint32_t keyIndex, uint32_t rscLow,
                                    uint32_t rscHigh) {
  if (pairwiseKeyInstalled_) {
    KeyTrace(kTraceWarning, nullptr, 0, "Pairwise key already installed: not installed again\n");
    return;
  }
  services_.InstallKey(SupplicantPairwiseSuite(), installedPtk_.Data() + kTemporalKeyOffset,
                       keyLength, keyIndex, authenticatorAddress_, rscLow, rscHigh);
  pairwiseKeyInstalled_ = true;
}

void KeyHandler::InstallGroupKey(const uint8_t* key, uint32_t keyLength, uint32_t keyIndex,
                                 uint32_t rscLow, uint32_t rscHigh) {
  if (installedGroupKey_.Length() == keyLength && installedGroupKeyIndex_ == (keyIndex & 3) &&
      std::memcmp(installedGroupKey_.Data(), key, keyLength) == 0) {
    KeyTrace(kTraceWarning, nullptr, 0, "Group key already installed: not installed again\n");
    return;
  }
  services_.InstallKey(SupplicantGroupSuite(), key, keyLength, keyIndex, authenticatorAddress_,
                       rscLow, rscHigh);
  installedGroupKey_.Assign(key, keyLength);
  installedGroupKeyIndex_ = keyIndex & 3;
}

void KeyHandler::AuthIndication(uint32_t flags, const uint8_t* bssid, const char* kind,
                                uint8_t eapolVersion) {
  static const uint8_t kNoAddress[kMacLength] = {};
  const uint8_t* a = bssid != nullptr ? bssid : kNoAddress;
  KeyTrace(kTraceEvent, nullptr, 0,
           "Received %s auth indication, flags = %08X, authenticator address: "
           "%02X%02X%02X%02X%02X%02X\n",
           kind, flags, a[0], a[1], a[2], a[3], a[4], a[5]);
  if (flags & 1) {
    KeyTrace(kTraceEvent, nullptr, 0, "Reauthenticate request\n");
    services_.Reauthenticate();
    return;
  }
  if (installedPtk_.Length() < kTemporalKeyOffset) return;

  // A group error comes with the pairwise bit set too: test it first, so it is reported as
  // a group error.
  uint16_t info = static_cast<uint16_t>(descriptorVersion_ | kInfoRequest | kInfoMic);
  if (flags & 8) {
    KeyTrace(kTraceEvent, nullptr, 0, "Group key error\n");
    info |= kInfoError | kInfoSecure;
  } else if (flags & 4) {
    KeyTrace(kTraceEvent, nullptr, 0, "Pairwise key error\n");
    info |= kInfoError | kInfoSecure | kInfoPairwise;
  } else if (flags & 2) {
    KeyTrace(kTraceEvent, nullptr, 0, "Key update\n");
    info |= kInfoPairwise;
  } else {
    KeyTrace(kTraceError, nullptr, 0, "Unknown %s auth request\n", kind);
    return;
  }
  snonceDrawn_ = 0;
  KeyTrace(kTraceDetail, nullptr, 0, "Issuing EAPOL-Key request\n");
  EapolKeyWriter request;
  request.eapolVersion = eapolVersion;
  request.descriptorVersion = descriptorVersion_;
  request.micKey = installedPtk_.Data();
  request.keyInformation = info;
  request.replayCounter = requestCounter_++;
  Send(request);
}
