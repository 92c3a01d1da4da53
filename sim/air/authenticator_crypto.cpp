#include "sim/air/authenticator_crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/provider.h>
#include <openssl/rand.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace air {
namespace {

struct CipherCtxFree {
  void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree>;

Bytes Hmac(const EVP_MD* md, const uint8_t* key, size_t keyLength, const uint8_t* data,
           size_t length) {
  Bytes out(EVP_MAX_MD_SIZE);
  unsigned outLength = 0;
  if (HMAC(md, key, static_cast<int>(keyLength), data, length, out.data(), &outLength) == nullptr)
    throw std::runtime_error("HMAC failed");
  out.resize(outLength);
  return out;
}

// RC4 lives in OpenSSL's legacy provider; a library context of our own keeps it out of the
// process-wide default context that other code uses.
EVP_CIPHER* LegacyRc4() {
  static EVP_CIPHER* rc4 = [] {
    OSSL_LIB_CTX* ctx = OSSL_LIB_CTX_new();
    if (ctx == nullptr || OSSL_PROVIDER_load(ctx, "legacy") == nullptr ||
        OSSL_PROVIDER_load(ctx, "default") == nullptr)
      return static_cast<EVP_CIPHER*>(nullptr);
    return EVP_CIPHER_fetch(ctx, "RC4", nullptr);
  }();
  if (rc4 == nullptr) throw std::runtime_error("RC4 not available (OpenSSL legacy provider)");
  return rc4;
}

Bytes RunCipher(const EVP_CIPHER* cipher, bool encrypt, const uint8_t* key, int keyLength,
                const Bytes& in, bool* ok) {
  CipherCtx ctx(EVP_CIPHER_CTX_new());
  Bytes out(in.size() + 16);
  int n1 = 0, n2 = 0;
  *ok = false;
  if (!ctx) return {};
  EVP_CIPHER_CTX_set_flags(ctx.get(), EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
  if (EVP_CipherInit_ex(ctx.get(), cipher, nullptr, nullptr, nullptr, encrypt ? 1 : 0) != 1 ||
      EVP_CIPHER_CTX_set_key_length(ctx.get(), keyLength) != 1 ||
      EVP_CipherInit_ex(ctx.get(), nullptr, nullptr, key, nullptr, encrypt ? 1 : 0) != 1 ||
      EVP_CipherUpdate(ctx.get(), out.data(), &n1, in.data(), static_cast<int>(in.size())) != 1 ||
      EVP_CipherFinal_ex(ctx.get(), out.data() + n1, &n2) != 1) {
    Wipe(out);
    return {};
  }
  out.resize(static_cast<size_t>(n1 + n2));
  *ok = true;
  return out;
}

}  // namespace

void Wipe(Bytes& secret) {
  if (!secret.empty()) OPENSSL_cleanse(secret.data(), secret.size());
  secret.clear();
}

namespace {
// HMAC-SHA1(key, prefix | counter) blocks, the counter from 0, until length bytes.
Bytes PrfBlocks(const Bytes& key, Bytes input, size_t length) {
  input.push_back(0);  // the block counter
  Bytes out;
  for (uint8_t counter = 0; out.size() < length; ++counter) {
    input.back() = counter;
    Bytes block = Hmac(EVP_sha1(), key.data(), key.size(), input.data(), input.size());
    out.insert(out.end(), block.begin(), block.end());
    Wipe(block);
  }
  Wipe(input);
  out.resize(length);
  return out;
}
}  // namespace

Bytes Prf(const Bytes& key, std::string_view label, const Bytes& data, size_t length) {
  Bytes input(label.begin(), label.end());
  input.push_back(0);
  input.insert(input.end(), data.begin(), data.end());
  return PrfBlocks(key, std::move(input), length);
}

Bytes PrfWithoutLabel(const Bytes& key, const Bytes& data, size_t length) {
  return PrfBlocks(key, data, length);
}

bool IsPskPassphrase(std::string_view passphrase) {
  return passphrase.size() >= 8 && passphrase.size() <= 63 &&
         std::all_of(passphrase.begin(), passphrase.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

Bytes PskFromPassphrase(std::string_view passphrase, std::string_view ssid) {
  Bytes psk(32);
  if (PKCS5_PBKDF2_HMAC_SHA1(passphrase.data(), static_cast<int>(passphrase.size()),
                             reinterpret_cast<const unsigned char*>(ssid.data()),
                             static_cast<int>(ssid.size()), 4096, 32, psk.data()) != 1)
    throw std::runtime_error("PBKDF2 failed");
  return psk;
}

Bytes EapolMic(int descriptorVersion, const uint8_t* kck, const uint8_t* frame, size_t length) {
  Bytes mic;
  if (descriptorVersion == 1)
    mic = Hmac(EVP_md5(), kck, 16, frame, length);
  else if (descriptorVersion == 2)
    mic = Hmac(EVP_sha1(), kck, 16, frame, length);
  else
    return {};
  mic.resize(16);
  return mic;
}

Bytes AesKeyWrap(const uint8_t* kek, const Bytes& plain) {
  bool ok = false;
  Bytes out = RunCipher(EVP_aes_128_wrap(), true, kek, 16, plain, &ok);
  if (!ok) throw std::runtime_error("AES key wrap failed");
  return out;
}

Bytes AesKeyUnwrap(const uint8_t* kek, const Bytes& wrapped) {
  bool ok = false;
  Bytes out = RunCipher(EVP_aes_128_wrap(), false, kek, 16, wrapped, &ok);
  return ok ? out : Bytes{};
}

Bytes Rc4Skip256(const Bytes& key, const Bytes& data) {
  Bytes in(256, 0);
  in.insert(in.end(), data.begin(), data.end());
  bool ok = false;
  Bytes out = RunCipher(LegacyRc4(), true, key.data(), static_cast<int>(key.size()), in, &ok);
  Wipe(in);
  if (!ok) throw std::runtime_error("RC4 failed");
  Bytes result(out.begin() + 256, out.end());
  Wipe(out);
  return result;
}

Bytes Rc4(const Bytes& key, const Bytes& data) {
  bool ok = false;
  Bytes out = RunCipher(LegacyRc4(), true, key.data(), static_cast<int>(key.size()), data, &ok);
  if (!ok) throw std::runtime_error("RC4 failed");
  return out;
}

Bytes Rc4Skip256(const uint8_t* iv, const uint8_t* kek, const Bytes& data) {
  Bytes key(iv, iv + 16);
  key.insert(key.end(), kek, kek + 16);
  Bytes result = Rc4Skip256(key, data);
  Wipe(key);
  return result;
}

Bytes Pmkid(const Bytes& pmk, const uint8_t* aa, const uint8_t* spa) {
  Bytes input = {'P', 'M', 'K', ' ', 'N', 'a', 'm', 'e'};
  input.insert(input.end(), aa, aa + 6);
  input.insert(input.end(), spa, spa + 6);
  Bytes pmkid = Hmac(EVP_sha1(), pmk.data(), pmk.size(), input.data(), input.size());
  pmkid.resize(16);
  return pmkid;
}

Bytes HmacMd5(const Bytes& key, const Bytes& data) {
  return Hmac(EVP_md5(), key.data(), key.size(), data.data(), data.size());
}

Bytes RandomBytes(size_t count) {
  Bytes out(count);
  if (count != 0 && RAND_bytes(out.data(), static_cast<int>(count)) != 1)
    throw std::runtime_error("RAND_bytes failed");
  return out;
}

}  // namespace air
