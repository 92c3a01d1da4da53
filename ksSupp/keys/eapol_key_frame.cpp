#include "ksSupp/keys/eapol_key_frame.h"

#include <openssl/crypto.h>

#include <cstring>

#include <collections/dcfByteArray.h>
#include <dcf/dcfWipe.h>
#include <dcf/hmac.h>

#include "ksSupp/keys/key_handler_services.h"

using namespace eapol_key;

uint64_t EapolKeyFrame::ReplayCounter() const {
  uint64_t value = 0;
  for (uint32_t i = 0; i < 8; ++i) value = value << 8 | bytes_[kReplayCounter + i];
  return value;
}

uint32_t EapolKeyFrame::ReadLittle32(uint32_t at) const {
  return static_cast<uint32_t>(bytes_[at]) | static_cast<uint32_t>(bytes_[at + 1]) << 8 |
         static_cast<uint32_t>(bytes_[at + 2]) << 16 | static_cast<uint32_t>(bytes_[at + 3]) << 24;
}

namespace {

// HMAC over the frame with the MIC field read as zeros.
template <class Mac>
void MacFrame(const uint8_t* kck, const uint8_t* frame, uint32_t frameLength, uint32_t micOffset,
              uint8_t* out) {
  static const uint8_t zeros[kMicLength] = {};
  Mac mac;
  mac.SetKey(kck, 16);
  mac.Init();
  mac.Update(frame, micOffset);
  mac.Update(zeros, kMicLength);
  mac.Update(frame + micOffset + kMicLength, frameLength - micOffset - kMicLength);
  mac.Final(out);
}

}  // namespace

bool ComputeEapolKeyMic(uint32_t descriptorVersion, const uint8_t* kck, const uint8_t* frame,
                        uint32_t frameLength, uint8_t mic[kMicLength], uint32_t micOffset) {
  if (kck == nullptr || frameLength < micOffset + kMicLength) return false;
  if (descriptorVersion == 1) {
    MacFrame<HmacMd5>(kck, frame, frameLength, micOffset, mic);
    return true;
  }
  if (descriptorVersion == 2) {
    uint8_t digest[HmacSha1::kDigestSize];
    MacFrame<HmacSha1>(kck, frame, frameLength, micOffset, digest);
    std::memcpy(mic, digest, kMicLength);
    dcfWipe(digest, sizeof digest);
    return true;
  }
  return false;
}

bool eapol_key_mic(uint32_t descriptorVersion, const uint8_t* kck, const uint8_t* frame,
                   uint32_t frameLength, uint32_t micOffset) {
  if (frameLength < micOffset + kMicLength) return false;
  // The MIC covers exactly the header and the Key Data; bytes after it are not signed.
  if (frameLength >= kKeyData) {
    const uint32_t signedLength = kKeyData + ReadBigEndian16(frame + kKeyDataLength);
    if (signedLength > frameLength) return false;
    frameLength = signedLength;
  }
  uint8_t mic[kMicLength];
  if (!ComputeEapolKeyMic(descriptorVersion, kck, frame, frameLength, mic, micOffset)) return false;
  return CRYPTO_memcmp(mic, frame + micOffset, kMicLength) == 0;
}

bool EapolKeyWriter::Write(uint8_t descriptorType, KeyHandlerServices& services) const {
  dcfByteArray frame;
  frame.Resize(kKeyData + keyDataLength);  // zero-filled
  uint8_t* f = frame.Data();
  const uint32_t bodyLength = frame.Length() - 4;
  f[0] = eapolVersion;
  f[1] = 3;  // EAPOL-Key
  f[2] = static_cast<uint8_t>(bodyLength >> 8);
  f[3] = static_cast<uint8_t>(bodyLength);
  f[kDescriptorType] = descriptorType;
  f[kKeyInformation] = static_cast<uint8_t>(keyInformation >> 8);
  f[kKeyInformation + 1] = static_cast<uint8_t>(keyInformation);
  f[kKeyLength] = static_cast<uint8_t>(keyLength >> 8);
  f[kKeyLength + 1] = static_cast<uint8_t>(keyLength);
  for (uint32_t i = 0; i < 8; ++i)
    f[kReplayCounter + i] = static_cast<uint8_t>(replayCounter >> (56 - 8 * i));
  if (nonce != nullptr) std::memcpy(f + kNonce, nonce, kNonceLength);
  if (iv != nullptr) std::memcpy(f + kIv, iv, kIvLength);
  for (uint32_t i = 0; i < 4; ++i) {
    f[kRsc + i] = static_cast<uint8_t>(rscLow >> (8 * i));
    f[kRsc + 4 + i] = static_cast<uint8_t>(rscHigh >> (8 * i));
  }
  f[kKeyDataLength] = static_cast<uint8_t>(keyDataLength >> 8);
  f[kKeyDataLength + 1] = static_cast<uint8_t>(keyDataLength);
  if (keyDataLength != 0) std::memcpy(f + kKeyData, keyData, keyDataLength);
  if ((keyInformation & kInfoMic) &&
      !ComputeEapolKeyMic(descriptorVersion, micKey, f, frame.Length(), f + kMic))
    return false;
  services.TransmitEapolKey(f, frame.Length());
  return true;
}
