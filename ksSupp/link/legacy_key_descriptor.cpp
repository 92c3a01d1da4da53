#include "ksSupp/link/legacy_key_descriptor.h"

#include <cstring>

#include <dcf/hmac.h>
#include <dcf/rc4.h>
#include <utility>

#include "ksSupp/trace.h"

namespace {

constexpr std::uint32_t kHeader = 4;
constexpr std::uint32_t kDescriptorType = 4;
constexpr std::uint32_t kKeyLength = 5;
constexpr std::uint32_t kReplayCounter = 7;
constexpr std::uint32_t kIv = 15;
constexpr std::uint32_t kIvLength = 16;
constexpr std::uint32_t kKeyIndex = 31;
constexpr std::uint32_t kSignature = 32;
constexpr std::uint32_t kSignatureLength = 16;
constexpr std::uint32_t kEncryptedKey = 48;
constexpr std::uint32_t kMinBody = kEncryptedKey - kHeader;  // 44
constexpr std::uint8_t kRc4Descriptor = 1;

bool Refuse(const char* reason) {
  if (TraceEnabled(TraceLevel::Error))
    traceError(TraceCategory::Keys, nullptr, 0, "Legacy EAPOL-Key descriptor refused: %s\n", reason);
  return false;
}

}  // namespace

bool ReadLegacyKeyDescriptor(const std::uint8_t* frame, std::uint32_t length,
                             const dcfByteArray& encryptionKey, const dcfByteArray& signatureKey,
                             LegacyKey& out) {
  if (encryptionKey.Empty() || signatureKey.Empty()) return Refuse("no session keys");
  if (frame == nullptr || length < kHeader) return Refuse("too short");
  const std::uint32_t body = static_cast<std::uint32_t>(frame[2] << 8 | frame[3]);
  if (body < kMinBody || body > length - kHeader) return Refuse("body length out of range");
  if (frame[kDescriptorType] != kRc4Descriptor) return Refuse("descriptor type not RC4");

  const std::uint32_t encryptedLength = body - kMinBody;
  std::uint8_t signature[HmacMd5::kDigestSize];
  {
    static const std::uint8_t kZeros[kSignatureLength] = {};
    HmacMd5 mac;
    mac.SetKey(signatureKey.Data(), signatureKey.Length());
    mac.Init();
    mac.Update(frame, kSignature);
    mac.Update(kZeros, sizeof kZeros);
    mac.Update(frame + kEncryptedKey, encryptedLength);
    mac.Final(signature);
  }
  if (std::memcmp(signature, frame + kSignature, kSignatureLength) != 0)
    return Refuse("signature does not match");

  const std::uint32_t keyLength = static_cast<std::uint32_t>(frame[kKeyLength] << 8 | frame[kKeyLength + 1]);
  SecureByteArray key;
  if (encryptedLength == 0) {
    // No key in the frame: the encryption key itself is the WEP key, as far as it goes.
    if (keyLength > encryptionKey.Length()) return Refuse("key longer than the session key");
    key.Assign(encryptionKey.Data(), keyLength);
  } else {
    if (keyLength > encryptedLength) return Refuse("key longer than the bytes present");
    SecureByteArray rc4Key;
    rc4Key.Assign(frame + kIv, kIvLength);
    rc4Key.Append(encryptionKey.Data(), encryptionKey.Length());
    key.Resize(keyLength);
    if (keyLength != 0) {
      Rc4State rc4;
      Rc4SetKey(rc4, rc4Key.Length(), rc4Key.Data());
      Rc4Crypt(rc4, keyLength, frame + kEncryptedKey, key.Data());
    }
  }
  const std::uint8_t index = frame[kKeyIndex];
  out.index = (index & 0x80u ? 0x80000000u : 0u) | (index & 0x7Fu);
  out.replayCounter = 0;
  for (std::uint32_t i = 0; i < 8; ++i) out.replayCounter = out.replayCounter << 8 | frame[kReplayCounter + i];
  out.key = std::move(key);
  return true;
}
