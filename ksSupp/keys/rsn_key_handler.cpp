#include "ksSupp/keys/rsn_key_handler.h"

#include <algorithm>
#include <cstring>

#include "ksSupp/keys/key_data_cipher.h"
#include "ksSupp/keys/key_handler_services.h"
#include "ksSupp/keys/key_trace.h"

using namespace eapol_key;

namespace {

void Refuse(const char* text) { KeyTrace(kTraceError, nullptr, 0, "%s", text); }

void TraceElement(const IeElement& element, const char* label, const char* emptyWarning) {
  if (element.Length() == 0)
    KeyTrace(kTraceWarning, nullptr, 0, "%s", emptyWarning);
  else
    KeyTrace(kTraceDetail, element.Bytes(), element.Length(), "%s", label);
}

bool SameNonce(const uint8_t* a, const uint8_t* b) {
  return std::memcmp(a, b, kNonceLength) == 0;
}

}  // namespace

bool RsnKeyHandler::rsn_receive_key(const uint8_t* frame, uint32_t length) {
  if (!CheckFrame(frame, length, kDescriptorRsn,
                  "EAPOL-Key message discarded: descriptor type not RSN\n"))
    return false;
  const EapolKeyFrame f(frame, length);
  const Reply reply{std::min<uint8_t>(f.EapolVersion(), 2), f.DescriptorVersion(), f.KeyLength(),
                    f.ReplayCounter()};
  const uint16_t info = f.KeyInformation();
  if (!(info & kInfoPairwise)) return GroupMessage(f, reply);
  if (info & kInfoMic) return Message3(f, reply);
  return Message1(f, reply);
}

void RsnKeyHandler::RsnAuthIndication(uint32_t flags, const uint8_t* bssid) {
  AuthIndication(flags, bssid, "RSN", 2, kDescriptorRsn);
}

EapolKeyWriter RsnKeyHandler::Answer(const Reply& reply, uint16_t keyInformation,
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

bool RsnKeyHandler::Message1(const EapolKeyFrame& frame, const Reply& reply) {
  KeyTrace(kTraceEvent, nullptr, 0, "Processing EAPOL-Key 4-way handshake message 1\n");
  KeyTrace(kTraceDetail, authenticatorAddress_, kMacLength, "Authenticator address:\n");
  TraceElement(AuthenticatorElement(), "Authenticator RSN information element:\n",
               "Warning: Authenticator RSN information element is empty\n");
  KeyTrace(kTraceDetail, supplicantAddress_, kMacLength, "Supplicant address:\n");
  TraceElement(SupplicantElement(), "Supplicant RSN information element:\n",
               "Warning: Supplicant RSN information element is empty\n");

  IeSet keyData;
  if (!DecryptKeyData(frame, installedPtk_, keyData)) {
    Refuse("EAPOL-Key handshake message 1 discarded: invalid Key Data\n");
    return false;
  }
  services_.PairwiseMessage1Received();
  if (!SelectPmk(keyData)) return false;
  derive_ptk(frame.Nonce(), reply.keyLength);  // the replay counter stays: message 1 has no MIC

  KeyTrace(kTraceEvent, nullptr, 0, "Sending EAPOL-Key 4-way handshake message 2\n");
  const SecurityElement& element = SupplicantElement();
  EapolKeyWriter message2 = Answer(
      reply, static_cast<uint16_t>(reply.descriptorVersion | kInfoMic | kInfoPairwise), Message2MicKey());
  message2.nonce = SNonce();
  message2.keyData = element.Bytes();
  message2.keyDataLength = element.Length();
  return message2.Write(kDescriptorRsn, services_);
}

bool RsnKeyHandler::SelectPmk(const IeSet& keyData) {
  if (SupplicantAkmSuite() == kRsnAkm8021X) {
    // The PMKSA cache looks the PMKID up here; without one the PMK of the last EAP
    // authentication is used.
    if (!keyData.PmkidKde().Valid())
      KeyTrace(kTraceWarning, nullptr, 0, "No PMKID found in handshake message 1\n");
    if (pmk_.Empty()) {
      Refuse("EAPOL-Key handshake message 1 discarded: no PMK or PMKID for lookup\n");
      return false;
    }
  } else if (pmk_.Empty()) {
    Refuse("EAPOL-Key handshake message 1 discarded: no pre-shared key\n");
    return false;
  }
  return true;
}

bool RsnKeyHandler::Message3(const EapolKeyFrame& frame, const Reply& reply) {
  KeyTrace(kTraceEvent, nullptr, 0, "Processing EAPOL-Key 4-way handshake message 3\n");
  // Once a message 3 is accepted the negotiated PTK is in force. The authenticator sends
  // message 3 again when our message 4 was lost: that copy is checked against the PTK in
  // force and answered, but installs nothing a second time.
  const bool retransmitted = ptk_.Length() < kTemporalKeyOffset &&
                             installedPtk_.Length() >= kTemporalKeyOffset &&
                             SameNonce(frame.Nonce(), ANonce());
  const SecureByteArray& ptk = retransmitted ? installedPtk_ : ptk_;
  if (ptk.Length() < kTemporalKeyOffset) {
    Refuse("EAPOL-Key handshake message 3 discarded: message 1 never received\n");
    return false;
  }
  if (ptk.Length() < reply.keyLength + kTemporalKeyOffset || !PairwiseKeyLengthValid(reply.keyLength)) {
    Refuse("EAPOL-Key handshake message 3 discarded: message 3 key length is invalid\n");
    return false;
  }
  if (!SameNonce(frame.Nonce(), ANonce())) {
    Refuse("EAPOL-Key handshake message 3 discarded: ANonce differs from message 1\n");
    return false;
  }
  if (!eapol_key_mic(reply.descriptorVersion, ptk.Data(), frame.Bytes(), frame.Length())) {
    Refuse("EAPOL-Key handshake message 3 discarded: invalid MIC\n");
    return false;
  }
  AcceptReplayCounter(reply.replayCounter);

  IeSet keyData;
  if (!DecryptKeyData(frame, ptk, keyData)) {
    Refuse("EAPOL-Key handshake message 3 discarded: error decrypting KeyData\n");
    services_.ReportKeyFailure(kKeyFailureKeyData);
    return false;
  }
  const uint16_t info = frame.KeyInformation();
  if (!CheckAuthenticatorElement(keyData) || !CheckMessage3Gtk(keyData, info)) return false;

  if (!retransmitted) {
    CommitPtk(reply.descriptorVersion, reply.keyLength);
    // The PMKSA cache validates its pending entry here.
    if (SupplicantAkmSuite() == kRsnAkm8021X) services_.CachedHandshakeDone();
  }

  KeyTrace(kTraceEvent, nullptr, 0, "Sending EAPOL-Key 4-way handshake message 4\n");
  EapolKeyWriter message4 = Answer(
      reply, static_cast<uint16_t>((info & (kInfoVersionMask | kInfoSecure)) | kInfoMic | kInfoPairwise),
      installedPtk_.Data());
  message4.nonce = SNonce();
  message4.Write(kDescriptorRsn, services_);

  if (info & kInfoInstall)
    InstallPairwiseKey(reply.keyLength, 0, 0);
  else
    KeyTrace(kTraceWarning, nullptr, 0,
             "Install bit in Key Information not set: pairwise key will not be used\n");
  if (keyData.GtkKde().Present()) InstallGtk(keyData.GtkKde(), frame);
  if (info & kInfoSecure)
    groupSecured_ = 1;
  else
    KeyTrace(kTraceWarning, nullptr, 0,
             "Warning: Handshake 3 Key Information did not have the Secure bit set\n");
  return true;
}

bool RsnKeyHandler::CheckAuthenticatorElement(const IeSet& keyData) {
  if (!authenticatorIesKnown_) {
    KeyTrace(kTraceWarning, nullptr, 0,
             "Authenticator information element from beacon/probe not available - cannot validate\n");
    return true;
  }
  const RsnIeElement& signedElement = keyData.Rsn();
  if (!signedElement.Present()) {
    Refuse("EAPOL-Key handshake message 3 discarded: did not receive authenticator IE\n");
    services_.ReportKeyFailure(kKeyFailureElement);
    return false;
  }
  const SecurityElement& beacon = AuthenticatorElement();
  if (beacon.Length() != signedElement.Length() ||
      std::memcmp(beacon.Bytes(), signedElement.Bytes(), beacon.Length()) != 0) {
    Refuse("EAPOL-Key handshake message 3 discarded: authenticator IE does not match\n");
    KeyTrace(kTraceDetail, beacon.Bytes(), beacon.Length(),
             "Unsigned authenticator IE (from beacon/probe):\n");
    KeyTrace(kTraceDetail, signedElement.Bytes(), signedElement.Length(),
             "Signed authenticator IE (from message 3):\n");
    services_.ReportKeyFailure(kKeyFailureElement);
    return false;
  }
  KeyTrace(kTraceDetail, nullptr, 0, "Authenticator IE has been validated\n");
  return true;
}

bool RsnKeyHandler::CheckMessage3Gtk(const IeSet& keyData, uint16_t keyInformation) {
  const GtkKdeElement& gtk = keyData.GtkKde();
  if (!gtk.Present()) {
    if (SupplicantGroupSuite() != kRsnSuiteNone)
      KeyTrace(kTraceWarning, nullptr, 0, "Warning: Handshake 3 did not contain a GTK\n");
    return true;
  }
  if (!(keyInformation & kInfoEncryptedKeyData)) {
    Refuse("EAPOL-Key handshake message 3 discarded: unencrypted GTK\n");
    services_.ReportKeyFailure(kKeyFailureGroupKey);
    return false;
  }
  if (!GtkUsable(gtk)) {
    Refuse("EAPOL-Key handshake message 3 discarded: error parsing GTK\n");
    services_.ReportKeyFailure(kKeyFailureGroupKey);
    return false;
  }
  return true;
}

void RsnKeyHandler::InstallGtk(const GtkKdeElement& gtk, const EapolKeyFrame& frame) {
  const uint32_t index = gtk.KeyIndex() | kKeyIndexRscGiven | (gtk.Transmit() ? kKeyIndexTransmit : 0);
  InstallGroupKey(gtk.Key(), gtk.KeyLength(), index, frame.RscLow(), frame.RscHigh());
}

bool RsnKeyHandler::GroupMessage(const EapolKeyFrame& frame, const Reply& reply) {
  KeyTrace(kTraceEvent, nullptr, 0, "Processing EAPOL-Key group key message\n");
  const uint16_t info = frame.KeyInformation();
  if (!(info & kInfoMic)) {
    Refuse("EAPOL-Key group key message discarded: no MIC\n");
    return false;
  }
  if (installedPtk_.Length() < kTemporalKeyOffset) {
    Refuse("EAPOL-Key group key message discarded: PTK not negotiated\n");
    return false;
  }
  if (!eapol_key_mic(reply.descriptorVersion, installedPtk_.Data(), frame.Bytes(), frame.Length())) {
    Refuse("EAPOL-Key group key message discarded: invalid MIC\n");
    return false;
  }
  AcceptReplayCounter(reply.replayCounter);
  if (!(info & kInfoEncryptedKeyData)) {
    Refuse("EAPOL-Key group key message 1 discarded: unencrypted GTK\n");
    services_.ReportKeyFailure(kKeyFailureGroupKey);
    return false;
  }
  IeSet keyData;
  if (!DecryptKeyData(frame, installedPtk_, keyData)) {
    Refuse("EAPOL-Key group key message 1 discarded: error decrypting KeyData\n");
    services_.ReportKeyFailure(kKeyFailureKeyData);
    return false;
  }
  const GtkKdeElement& gtk = keyData.GtkKde();
  if (!gtk.Present()) {
    Refuse("EAPOL-Key group key message 1 discarded: GTK IE not found\n");
    services_.ReportKeyFailure(kKeyFailureGroupKey);
    return false;
  }
  if (!GtkUsable(gtk)) {
    Refuse("EAPOL-Key group key message 1 discarded: error parsing GTK\n");
    services_.ReportKeyFailure(kKeyFailureGroupKey);
    return false;
  }
  InstallGtk(gtk, frame);
  if (info & kInfoSecure) groupSecured_ = 1;

  KeyTrace(kTraceEvent, nullptr, 0, "Sending EAPOL-Key group key acknowledgement\n");
  const EapolKeyWriter ack = Answer(
      reply, static_cast<uint16_t>((info & (kInfoVersionMask | kInfoSecure)) | kInfoMic), installedPtk_.Data());
  return ack.Write(kDescriptorRsn, services_);
}
