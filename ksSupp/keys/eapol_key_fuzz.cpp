// EAPOL-Key frames and element runs from the air, into the parsers of the key handlers.
// The first byte picks the target: 0 an element run, 1 Key Data decryption under a fixed
// PTK, anything else the RSN handler in the middle of a handshake (a PTK from message 1).
#include <cstring>

#include <collections/dcfByteArray.h>

#include "ksSupp/keys/eapol_key_frame.h"
#include "ksSupp/keys/ie_set.h"
#include "ksSupp/keys/key_data_cipher.h"
#include "ksSupp/keys/null_key_handler_services.h"
#include "ksSupp/keys/rsn_key_handler.h"

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
    return 0;
  }

  PskServices services;
  RsnKeyHandler handler(services);
  services.handler = &handler;
  const uint8_t aa[6] = {2, 0, 0, 0, 0, 1}, spa[6] = {2, 0, 0, 0, 0, 2};
  handler.SetAddresses(aa, spa);
  handler.SetAuthenticatorIes(kRsnElement, sizeof kRsnElement);
  handler.SetSupplicantIes(kRsnElement, sizeof kRsnElement);
  uint8_t message1[eapol_key::kKeyData] = {2, 3, 0, 95, 2, 0x00, 0x8A, 0, 16};
  std::memset(message1 + eapol_key::kNonce, 0xA5, eapol_key::kNonceLength);
  handler.rsn_receive_key(message1, sizeof message1);
  handler.rsn_receive_key(bytes, length);
  return 0;
}
