#include "ksSupp/keys/wpa_key_handler.h"

#include "ksSupp/keys/key_data_cipher.h"
#include "ksSupp/keys/key_handler_services.h"
#include "ksSupp/keys/key_trace.h"

using namespace eapol_key;

namespace {

constexpr const char* kMessage3Refusal = "EAPOL-Key pairwise key message 3 discarded: ";
// The acknowledgement keeps the version, the key index and the Secure bit.
constexpr uint16_t kGroupAckKept = kInfoVersionMask | kInfoWpaKeyIndexMask | kInfoSecure;

void Refuse(const char* text) { KeyTrace(kTraceError, nullptr, 0, "%s", text); }

}  // namespace

bool WpaKeyHandler::Message1(const EapolKeyFrame& frame, const Reply& reply) {
  KeyTrace(kTraceEvent, nullptr, 0, "Processing EAPOL-Key 4-way handshake message 1\n");
  services_.PairwiseMessage1Received();
  if (pmk_.Empty()) {
    Refuse("EAPOL-Key pairwise key message 1 discarded: no PMK\n");
    return false;
  }
  TraceElements();
  derive_ptk(frame.Nonce(), reply.keyLength);
  return SendMessage2(reply);
}

bool WpaKeyHandler::Message3(const EapolKeyFrame& frame, const Reply& reply) {
  KeyTrace(kTraceEvent, nullptr, 0, "Processing EAPOL-Key 4-way handshake message 3\n");
  bool retransmitted = false;
  if (VerifyMessage3(frame, reply, kMessage3Refusal, retransmitted) == nullptr) return false;
  // The whole Key Data is the authenticator's WPA element.
  if (!CheckSignedElement(frame.KeyData(), frame.KeyDataLength(), true, kMessage3Refusal))
    return false;

  if (!retransmitted) CommitPtk(reply.descriptorVersion, reply.keyLength);
  const uint16_t info = frame.KeyInformation();
  if (info & kInfoSecure) groupSecured_ = 1;
  SendMessage4(reply, info);
  if (info & kInfoInstall)
    InstallPairwiseKey(reply.keyLength, kPairwiseKeyIndex, frame.RscLow(), frame.RscHigh());
  return true;
}

bool WpaKeyHandler::GroupMessage(const EapolKeyFrame& frame, const Reply& reply) {
  KeyTrace(kTraceEvent, nullptr, 0, "Processing EAPOL-Key group key message\n");
  if (!VerifyGroupMessage(frame, reply)) return false;
  const uint16_t info = frame.KeyInformation();
  const uint32_t index = ((info & kInfoWpaKeyIndexMask) >> 4) | kKeyIndexRscGiven |
                         ((info & kInfoInstall) ? kKeyIndexTransmit : 0);
  // A key that cannot be one of the group cipher (an empty one above all) never reaches
  // the host.
  if (!GroupKeyLengthValid(reply.keyLength)) {
    Refuse("EAPOL-Key group key message discarded: group key length is invalid\n");
    services_.ReportKeyFailure(kKeyFailureGroupKey);
    return false;
  }
  SecureByteArray key;
  if (!DecryptWpaGroupKey(frame, installedPtk_, key)) {
    Refuse("EAPOL-Key group key message discarded: error decrypting group key\n");
    services_.ReportKeyFailure(kKeyFailureKeyData);
    return false;
  }
  InstallGroupKey(key.Data(), key.Length(), index, frame.RscLow(), frame.RscHigh());
  if (info & kInfoSecure) groupSecured_ = 1;
  return SendGroupAck(reply, info, kGroupAckKept);
}
