// EAPOL-Key frames and element runs from the air, into the parsers of the key handlers.
// The first byte picks the target: 0 an element run, 1 Key Data decryption under a fixed
// PTK (both the RSN Key Data and the WPA group key), 3 the WPA handler in the middle of a
// handshake (a PTK from message 1), 4 the RSN handler with the 802.1X AKM (the PMKSA cache
// picks the PMK), 5 the elements of a reassociation response after a CCKM fast-handoff
// request, 6 and 7 the RSN and the WPA handler with a PSK fed frames the harness signs,
// anything else the RSN handler with a PSK.
//
// Signed frames (6, 7) get past the MIC, so messages 3 and group messages reach the handlers'
// checks behind it: after message 1 the input is a run of frames, each a big-endian u16
// length and that many bytes. The harness takes a frame's Key Data as plain text, encrypts
// it as the authenticator would (AES key wrap for descriptor version 2, RC4 for version 1)
// when the frame says it is encrypted, and signs the frame with the handler's own KCK.
#include <openssl/evp.h>

#include <cstring>
#include <vector>

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

// A handler of the descriptor type it speaks after a message 1 (ANonce 0xA5...), handed to
// `then`.
template <class Handler, class Receive, class Then>
void AfterMessage1(const uint8_t* element, uint32_t elementLength, uint8_t descriptorType,
                   uint8_t keyLength, Receive receive, Then then) {
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
  then(handler);
}

// The handler after a message 1, then the input as one frame.
template <class Handler, class Receive>
void FeedMidHandshake(const uint8_t* element, uint32_t elementLength, uint8_t descriptorType,
                      uint8_t keyLength, Receive receive, const uint8_t* bytes, uint32_t length) {
  AfterMessage1<Handler>(element, elementLength, descriptorType, keyLength, receive,
                         [&](Handler& handler) { (handler.*receive)(bytes, length); });
}

// RFC 3394 key wrap of `plain` (padded as the standard pads Key Data: 0xDD, then zeros, to
// a multiple of 8 bytes and at least 16) under the KEK.
std::vector<uint8_t> AesKeyWrap(const uint8_t kek[16], std::vector<uint8_t> plain) {
  if (plain.size() % 8 != 0 || plain.size() < 16) {
    plain.push_back(0xDD);
    while (plain.size() % 8 != 0 || plain.size() < 16) plain.push_back(0);
  }
  std::vector<uint8_t> wrapped(plain.size() + 8);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int n = 0;
  const bool ok = ctx != nullptr && EVP_EncryptInit_ex(ctx, EVP_aes_128_wrap(), nullptr, kek, nullptr) == 1 &&
                  EVP_EncryptUpdate(ctx, wrapped.data(), &n, plain.data(), static_cast<int>(plain.size())) == 1;
  EVP_CIPHER_CTX_free(ctx);
  if (!ok) wrapped.clear();
  return wrapped;
}

// The frame as the authenticator would send it: Key Data encrypted when flagged (RSN: the
// encrypted flag; WPA: a group message), lengths updated, MIC computed with the KCK.
std::vector<uint8_t> Sign(const uint8_t* bytes, uint32_t length, const SecureByteArray& ptk, bool rsn) {
  std::vector<uint8_t> frame(bytes, bytes + length);
  if (frame.size() < eapol_key::kKeyData || ptk.Length() < 32) return frame;
  const uint16_t info = static_cast<uint16_t>(frame[eapol_key::kKeyInformation] << 8 | frame[eapol_key::kKeyInformation + 1]);
  const uint32_t version = info & eapol_key::kInfoVersionMask;
  const uint8_t* kck = ptk.Data();
  const uint8_t* kek = ptk.Data() + 16;
  std::vector<uint8_t> keyData(frame.begin() + eapol_key::kKeyData, frame.end());
  const bool encrypt = rsn ? (info & eapol_key::kInfoEncryptedKeyData) != 0 : (info & eapol_key::kInfoPairwise) == 0;
  if (encrypt && version == 2) {
    keyData = AesKeyWrap(kek, keyData);
  } else if (encrypt && version == 1) {
    Rc4KeyData(frame.data() + eapol_key::kIv, kek, keyData.data(), static_cast<uint32_t>(keyData.size()), keyData.data());
  }
  if (keyData.size() > 0xFFFF - eapol_key::kKeyData) return frame;
  frame.resize(eapol_key::kKeyData);
  frame.insert(frame.end(), keyData.begin(), keyData.end());
  frame[eapol_key::kKeyDataLength] = static_cast<uint8_t>(keyData.size() >> 8);
  frame[eapol_key::kKeyDataLength + 1] = static_cast<uint8_t>(keyData.size());
  const uint32_t body = static_cast<uint32_t>(frame.size() - 4);
  frame[2] = static_cast<uint8_t>(body >> 8);
  frame[3] = static_cast<uint8_t>(body);
  if (info & eapol_key::kInfoMic) {
    uint8_t mic[eapol_key::kMicLength];
    if (ComputeEapolKeyMic(version, kck, frame.data(), static_cast<uint32_t>(frame.size()), mic))
      std::memcpy(frame.data() + eapol_key::kMic, mic, sizeof mic);
  }
  return frame;
}

// The handler after a message 1, then every frame of the input signed with the key the
// handler holds by then.
template <class Handler, class Receive>
void FeedSigned(const uint8_t* element, uint32_t elementLength, uint8_t descriptorType,
                uint8_t keyLength, Receive receive, const uint8_t* bytes, uint32_t length) {
  const bool rsn = descriptorType == eapol_key::kDescriptorRsn;
  AfterMessage1<Handler>(element, elementLength, descriptorType, keyLength, receive, [&](Handler& handler) {
    for (uint32_t at = 0; at + 2 <= length;) {
      const uint32_t frameLength = std::min<uint32_t>(bytes[at] << 8 | bytes[at + 1], length - at - 2);
      const SecureByteArray& ptk =
          handler.InstalledPtk().Length() > 0 ? handler.InstalledPtk() : handler.Ptk();
      const std::vector<uint8_t> frame = Sign(bytes + at + 2, frameLength, ptk, rsn);
      (handler.*receive)(frame.data(), static_cast<uint32_t>(frame.size()));
      at += 2 + frameLength;
    }
  });
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
  if (data[0] == 6) {
    FeedSigned<RsnKeyHandler>(kRsnElement, sizeof kRsnElement, eapol_key::kDescriptorRsn, 16,
                              &RsnKeyHandler::rsn_receive_key, bytes, length);
    return 0;
  }
  if (data[0] == 7) {
    FeedSigned<WpaKeyHandler>(kWpaElement, sizeof kWpaElement, eapol_key::kDescriptorWpa, 32,
                              &WpaKeyHandler::wpa_receive_key, bytes, length);
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
