#include "ksSupp/keys/key_data_cipher.h"

#include <openssl/evp.h>

#include <cstring>
#include <memory>

#include <collections/dcfByteArray.h>
#include <dcf/dcfWipe.h>
#include <dcf/rc4.h>

#include "ksSupp/keys/eapol_key_frame.h"
#include "ksSupp/keys/ie_set.h"
#include "ksSupp/keys/key_trace.h"

namespace {
struct CipherContextFree {
  void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
const uint8_t kIntegrityValue[8] = {0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6};
}  // namespace

bool AesKeyUnwrap(const uint8_t kek[16], const uint8_t* wrapped, uint32_t wrappedLength,
                  uint8_t* out) {
  if (wrappedLength < 16 || wrappedLength % 8 != 0) return false;
  std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree> ctx(EVP_CIPHER_CTX_new());
  if (!ctx || EVP_DecryptInit_ex(ctx.get(), EVP_aes_128_ecb(), nullptr, kek, nullptr) != 1)
    return false;
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);

  const uint32_t n = wrappedLength / 8 - 1;  // 64-bit blocks of key data
  dcfByteArray scratch;                      // R[1..n], wiped below
  scratch.Resize(n * 8);
  uint8_t* r = scratch.Data();
  uint8_t a[8];
  std::memcpy(a, wrapped, 8);
  std::memcpy(r, wrapped + 8, n * 8);
  uint8_t block[16];
  bool ok = true;
  for (int j = 5; j >= 0 && ok; --j) {
    for (uint32_t i = n; i >= 1; --i) {
      uint64_t t = static_cast<uint64_t>(n) * static_cast<uint64_t>(j) + i;
      for (int k = 7; k >= 0; --k, t >>= 8) a[k] ^= static_cast<uint8_t>(t);
      std::memcpy(block, a, 8);
      std::memcpy(block + 8, r + (i - 1) * 8, 8);
      int produced = 0;
      if (EVP_DecryptUpdate(ctx.get(), block, &produced, block, 16) != 1 || produced != 16) {
        ok = false;
        break;
      }
      std::memcpy(a, block, 8);
      std::memcpy(r + (i - 1) * 8, block + 8, 8);
    }
  }
  ok = ok && std::memcmp(a, kIntegrityValue, 8) == 0;
  if (ok) std::memcpy(out, r, n * 8);
  dcfWipe(block, sizeof block);
  dcfWipe(r, n * 8);
  return ok;
}

void Rc4Skip256(const uint8_t* key, uint32_t keyLength, const uint8_t* in, uint32_t length,
                uint8_t* out) {
  Rc4State state;
  Rc4SetKey(state, keyLength, key);
  uint8_t discard[kRc4KeystreamDiscard] = {};
  Rc4Crypt(state, sizeof discard, discard, discard);
  Rc4Crypt(state, length, in, out);
  dcfWipe(discard, sizeof discard);
}

void Rc4KeyData(const uint8_t iv[16], const uint8_t kek[16], const uint8_t* in, uint32_t length,
                uint8_t* out) {
  uint8_t key[32];
  std::memcpy(key, iv, 16);
  std::memcpy(key + 16, kek, 16);
  Rc4Skip256(key, sizeof key, in, length, out);
  dcfWipe(key, sizeof key);
}

bool DecryptKeyData(const EapolKeyFrame& frame, const SecureByteArray& ptk, IeSet& keyData) {
  const uint32_t length = frame.KeyDataLength();
  if (length == 0 || !(frame.KeyInformation() & eapol_key::kInfoEncryptedKeyData)) {
    keyData.Walk(frame.KeyData(), length);
    return true;
  }
  if (ptk.Length() < 32) return false;
  const uint8_t* kek = ptk.Data() + 16;
  SecureByteArray plain;
  switch (frame.DescriptorVersion()) {
    case 1:
      plain.Resize(length);
      Rc4KeyData(frame.Iv(), kek, frame.KeyData(), length, plain.Data());
      break;
    case 2: {
      if (length < 16) return false;
      const uint32_t wrapped = length & ~7u;
      plain.Resize(wrapped - 8);
      if (!AesKeyUnwrap(kek, frame.KeyData(), wrapped, plain.Data())) return false;
      break;
    }
    default:
      return false;
  }
  KeyTrace(kTraceDetail, frame.KeyData(), length, "Encrypted Key Data:\n");
  KeyTrace(kTraceDetail, plain.Data(), plain.Length(), "Decrypted Key Data:\n");
  keyData.Walk(plain.Data(), plain.Length());
  return true;
}

bool DecryptWpaGroupKey(const EapolKeyFrame& frame, const SecureByteArray& ptk, SecureByteArray& key) {
  const uint32_t keyLength = frame.KeyLength();
  const uint32_t dataLength = frame.KeyDataLength();
  if (ptk.Length() < 32) return false;
  const uint8_t* kek = ptk.Data() + 16;
  switch (frame.DescriptorVersion()) {
    case 1:
      if (dataLength < keyLength) return false;
      key.Resize(keyLength);
      Rc4KeyData(frame.Iv(), kek, frame.KeyData(), keyLength, key.Data());
      return true;
    case 2: {
      if (dataLength < 16) return false;
      const uint32_t wrapped = dataLength & ~7u;
      if (wrapped - 8 < keyLength) return false;
      SecureByteArray plain;
      plain.Resize(wrapped - 8);
      if (!AesKeyUnwrap(kek, frame.KeyData(), wrapped, plain.Data())) return false;
      key.Assign(plain.Data(), keyLength);
      return true;
    }
    default:
      return false;
  }
}
