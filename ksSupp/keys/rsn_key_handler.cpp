#include "ksSupp/keys/rsn_key_handler.h"

#include "ksSupp/keys/key_data_cipher.h"
#include "ksSupp/keys/key_handler_services.h"
#include "ksSupp/keys/key_trace.h"

using namespace eapol_key;

namespace {

constexpr const char* kMessage3Refusal = "EAPOL-Key handshake message 3 discarded: ";

void Refuse(const char* text) { KeyTrace(kTraceError, nullptr, 0, "%s", text); }

}  // namespace

void RsnKeyHandler::Reset() {
  KeyHandler::Reset();
  pmksa_.Reset();
}

void RsnKeyHandler::SetPmk(const uint8_t* pmk, uint32_t length) {
  if (SupplicantAkmSuite() == kRsnAkm8021X)
    pmksa_.SetPending(pmk, length, authenticatorAddress_);
  else
    KeyHandler::SetPmk(pmk, length);
}

void RsnKeyHandler::Flush() {
  cckm_.state = 0;
  pmksa_.Flush();
}

bool RsnKeyHandler::Message1(const EapolKeyFrame& frame, const Reply& reply) {
  KeyTrace(kTraceEvent, nullptr, 0, "Processing EAPOL-Key 4-way handshake message 1\n");
  TraceElements();
  IeSet keyData;
  if (!DecryptKeyData(frame, installedPtk_, keyData)) {
    Refuse("EAPOL-Key handshake message 1 discarded: invalid Key Data\n");
    return false;
  }
  services_.PairwiseMessage1Received();
  if (!SelectPmk(keyData)) return false;
  derive_ptk(frame.Nonce(), reply.keyLength);  // the replay counter stays: message 1 has no MIC
  return SendMessage2(reply);
}

bool RsnKeyHandler::SelectPmk(const IeSet& keyData) {
  if (SupplicantAkmSuite() == kRsnAkm8021X) {
    if (!pmksa_.UsePmkid(keyData.PmkidKde(), authenticatorAddress_, pmk_)) return false;
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
  bool retransmitted = false;
  const SecureByteArray* ptk = VerifyMessage3(frame, reply, kMessage3Refusal, retransmitted);
  if (ptk == nullptr) return false;

  IeSet keyData;
  if (!DecryptKeyData(frame, *ptk, keyData)) {
    Refuse("EAPOL-Key handshake message 3 discarded: error decrypting KeyData\n");
    services_.ReportKeyFailure(kKeyFailureKeyData);
    return false;
  }
  const uint16_t info = frame.KeyInformation();
  const RsnIeElement& signedElement = keyData.Rsn();
  if (!CheckSignedElement(signedElement.Bytes(), signedElement.Length(), signedElement.Present(),
                          kMessage3Refusal) ||
      !CheckMessage3Gtk(keyData, info))
    return false;

  if (!retransmitted) {
    CommitPtk(reply.descriptorVersion, reply.keyLength);
    if (SupplicantAkmSuite() == kRsnAkm8021X) {
      pmksa_.ValidatePending(authenticatorAddress_);
      services_.CachedHandshakeDone();
    }
  }
  SendMessage4(reply, info);

  if (info & kInfoInstall)
    InstallPairwiseKey(reply.keyLength, kPairwiseKeyIndex, 0, 0);
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
  if (!VerifyGroupMessage(frame, reply)) return false;
  const uint16_t info = frame.KeyInformation();
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
  return SendGroupAck(reply, info, kInfoVersionMask | kInfoSecure);
}
