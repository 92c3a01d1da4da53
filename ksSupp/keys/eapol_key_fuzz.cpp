// EAPOL-Key frames and element runs from the air, into the parsers of the key handlers.
// The first byte picks the target: 0 an element run, 1 Key Data decryption under a fixed
// PTK (both the RSN Key Data and the WPA group key), 3 the WPA handler in the middle of a
// handshake (a PTK from message 1), 4 the RSN handler with the 802.1X AKM (the PMKSA cache
// picks the PMK), 5 the elements of a reassociation response after a CCKM fast-handoff
// request, anything else the RSN handler with a PSK.
#include <cstring>

#include <collections/dcfByteArray.h>

#include "ksSupp/keys/eapol_key_frame.h"
#include "ksSupp/keys/ie_set.h"
#include "ksSupp/keys/key_data_cipher.h"
#include "ksSupp/keys/null_key_handler_services.h"
#include "ksSupp/keys/rsn_key_handler.h"
#include "ksSupp/keys/wpa_key_handler.h"

namespace {

// Sets a PMK when message 1 arrives, as the engine does for a pass phrase.
struct PskServices : NullKeyHandlerServices {
  KeyHandler* handler = nullptr;
  void PairwiseMessage1Received() override {
    const uint8_t psk[32] = {0x42};
    handler->SetPmk(psk, sizeof psk);
  }
};

const uint8_t kRsnElement[] = {0x30, 0x14, 0x01, 0x00, 0x00, 0x0F, 0xAC, 0x04, 0x01, 0x00, 0x00,
                               0x0F, 0xAC, 0x04, 0x01, 0x00, 0x00, 0x0F, 0xAC, 0x02, 0x00, 0x00};
const uint8_t kRsn8021XElement[] = {0x30, 0x14, 0x01, 0x00, 0x00, 0x0F, 0xAC, 0x04, 0x01, 0x00, 0x00,
                                    0x0F, 0xAC, 0x04, 0x01, 0x00, 0x00, 0x0F, 0xAC, 0x01, 0x00, 0x00};
const uint8_t kWpaCckmElement[] = {0xDD, 0x16, 0x00, 0x50, 0xF2, 0x01, 0x01, 0x00, 0x00, 0x50, 0xF2, 0x02,
                                   0x01, 0x00, 0x00, 0x50, 0xF2, 0x02, 0x01, 0x00, 0x00, 0x40, 0x96, 0x00};
const uint8_t kWpaElement[] = {0xDD, 0x16, 0x00, 0x50, 0xF2, 0x01, 0x01, 0x00, 0x00, 0x50, 0xF2, 0x02,
                               0x01, 0x00, 0x00, 0x50, 0xF2, 0x02, 0x01, 0x00, 0x00, 0x50, 0xF2, 0x02};

// The handler after a message 1 of the descriptor type it speaks, then the input.
template <class Handler, class Receive>
void FeedMidHandshake(const uint8_t* element, uint32_t elementLength, uint8_t descriptorType,
                      uint8_t keyLength, Receive receive, const uint8_t* bytes, uint32_t length) {
  PskServices services;
  Handler handler(services);
  services.handler = &handler;
  const uint8_t aa[6] = {2, 0, 0, 0, 0, 1}, spa[6] = {2, 0, 0, 0, 0, 2};
  handler.SetAddresses(aa, spa);
  handler.SetAuthenticatorIes(element, elementLength);
  handler.SetSupplicantIes(element, elementLength);
  const uint8_t version = descriptorType == eapol_key::kDescriptorRsn ? 2 : 1;
  uint8_t message1[eapol_key::kKeyData] = {2, 3, 0, 95, descriptorType, 0x00,
                                           static_cast<uint8_t>(0x88 | version), 0, keyLength};
  std::memset(message1 + eapol_key::kNonce, 0xA5, eapol_key::kNonceLength);
  (handler.*receive)(message1, sizeof message1);
  (handler.*receive)(bytes, length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 65536) return 0;
  const uint8_t* bytes = data + 1;
  const uint32_t length = static_cast<uint32_t>(size - 1);

  if (data[0] == 0) {
    IeSet set;
    set.Walk(bytes, length);
    return 0;
  }
  if (data[0] == 1) {
    if (length < eapol_key::kKeyData) return 0;
    const EapolKeyFrame frame(bytes, length);
    if (frame.SignedLength() > length) return 0;
    SecureByteArray ptk;
    ptk.Resize(64);
    IeSet keyData;
    DecryptKeyData(frame, ptk, keyData);
    SecureByteArray groupKey;
    DecryptWpaGroupKey(frame, ptk, groupKey);
    return 0;
  }

  if (data[0] == 3) {
    FeedMidHandshake<WpaKeyHandler>(kWpaElement, sizeof kWpaElement, eapol_key::kDescriptorWpa, 32,
                                    &WpaKeyHandler::wpa_receive_key, bytes, length);
    return 0;
  }
  if (data[0] == 5) {
    // A base key from a first handshake, then a fast-handoff request.
    NullKeyHandlerServices services;
    WpaKeyHandler handler(services);
    const uint8_t aa[6] = {2, 0, 0, 0, 0, 1}, spa[6] = {2, 0, 0, 0, 0, 2}, pmk[32] = {0x42};
    const uint8_t anonce[eapol_key::kNonceLength] = {0xA5}, timestamp[8] = {1};
    handler.SetAddresses(aa, spa);
    handler.SetAuthenticatorIes(kWpaCckmElement, sizeof kWpaCckmElement);
    handler.SetSupplicantIes(kWpaCckmElement, sizeof kWpaCckmElement);
    handler.SetPmk(pmk, sizeof pmk);
    handler.derive_ptk(anonce, 32);
    handler.CommitPtk(1, 32);
    handler.CckmStart(timestamp, aa);
    handler.ProcessReassociationIes(bytes, length);
    return 0;
  }
  if (data[0] == 4) {
    FeedMidHandshake<RsnKeyHandler>(kRsn8021XElement, sizeof kRsn8021XElement, eapol_key::kDescriptorRsn,
                                    16, &RsnKeyHandler::rsn_receive_key, bytes, length);
    return 0;
  }
  FeedMidHandshake<RsnKeyHandler>(kRsnElement, sizeof kRsnElement, eapol_key::kDescriptorRsn, 16,
                                  &RsnKeyHandler::rsn_receive_key, bytes, length);
  return 0;
}
