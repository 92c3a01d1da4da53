#pragma once
// OpenSSL as the independent reference that the tests and the benchmark compare our
// primitives with. MD4, DES and RC4 live in OpenSSL 3's legacy provider.
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace openssl_reference {

// The legacy provider loaded beside the default one, and the algorithms fetched so far by
// name, for the life of the process. At exit the algorithms are freed before the providers
// are unloaded, so that the leak checker stays quiet.
class Library {
 public:
  // Throws when the legacy provider is missing (Debian's libssl3 ships it as
  // ossl-modules/legacy.so).
  static Library& Get() {
    static Library library;
    if (library.legacy_ == nullptr || library.default_ == nullptr) {
      throw std::runtime_error("OpenSSL's legacy provider cannot be loaded");
    }
    return library;
  }

  const EVP_MD* Digest(const char* name) {
    std::lock_guard<std::mutex> lock(mutex_);
    EVP_MD*& md = digests_[name];
    if (md == nullptr) md = EVP_MD_fetch(nullptr, name, nullptr);
    if (md == nullptr) throw std::runtime_error(std::string("OpenSSL has no digest ") + name);
    return md;
  }

  const EVP_CIPHER* Cipher(const char* name) {
    std::lock_guard<std::mutex> lock(mutex_);
    EVP_CIPHER*& cipher = ciphers_[name];
    if (cipher == nullptr) cipher = EVP_CIPHER_fetch(nullptr, name, nullptr);
    if (cipher == nullptr) throw std::runtime_error(std::string("OpenSSL has no cipher ") + name);
    return cipher;
  }

 private:
  Library() : legacy_(OSSL_PROVIDER_load(nullptr, "legacy")), default_(OSSL_PROVIDER_load(nullptr, "default")) {}
  ~Library() {
    for (auto& [name, md] : digests_) EVP_MD_free(md);
    for (auto& [name, cipher] : ciphers_) EVP_CIPHER_free(cipher);
    if (legacy_ != nullptr) OSSL_PROVIDER_unload(legacy_);
    if (default_ != nullptr) OSSL_PROVIDER_unload(default_);
  }

  OSSL_PROVIDER* legacy_;
  OSSL_PROVIDER* default_;
  std::mutex mutex_;
  std::map<std::string, EVP_MD*> digests_;
  std::map<std::string, EVP_CIPHER*> ciphers_;
};

inline void LoadProviders() { Library::Get(); }
inline const EVP_MD* FetchDigest(const char* name) { return Library::Get().Digest(name); }
inline const EVP_CIPHER* FetchCipher(const char* name) { return Library::Get().Cipher(name); }

inline std::vector<std::uint8_t> Digest(const char* name, const void* data, std::size_t length) {
  std::vector<std::uint8_t> out(EVP_MAX_MD_SIZE);
  unsigned int n = 0;
  if (EVP_Digest(data, length, out.data(), &n, FetchDigest(name), nullptr) != 1) {
    throw std::runtime_error("EVP_Digest failed");
  }
  out.resize(n);
  return out;
}

inline std::vector<std::uint8_t> Hmac(const char* digest, const void* key, std::size_t keyLength, const void* data,
                                      std::size_t length) {
  LoadProviders();
  std::vector<std::uint8_t> out(EVP_MAX_MD_SIZE);
  std::size_t n = 0;
  static const std::uint8_t kNoKey = 0;  // OpenSSL wants a pointer even for an empty key
  if (EVP_Q_mac(nullptr, "HMAC", nullptr, digest, nullptr, keyLength > 0 ? key : &kNoKey, keyLength,
                static_cast<const unsigned char*>(data), length, out.data(), out.size(), &n) == nullptr) {
    throw std::runtime_error("EVP_Q_mac failed");
  }
  out.resize(n);
  return out;
}

// A keyed cipher context; Update can be called repeatedly (RC4's keystream carries over).
class Cipher {
 public:
  Cipher(const char* name, const std::uint8_t* key, std::size_t keyLength, bool encrypt = true)
      : ctx_(EVP_CIPHER_CTX_new()) {
    const EVP_CIPHER* cipher = FetchCipher(name);
    if (ctx_ == nullptr || EVP_CipherInit_ex2(ctx_, cipher, nullptr, nullptr, encrypt ? 1 : 0, nullptr) != 1 ||
        EVP_CIPHER_CTX_set_key_length(ctx_, static_cast<int>(keyLength)) != 1 ||
        EVP_CipherInit_ex2(ctx_, nullptr, key, nullptr, -1, nullptr) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx_, 0) != 1) {
      EVP_CIPHER_CTX_free(ctx_);
      throw std::runtime_error(std::string("cannot key OpenSSL cipher ") + name);
    }
  }
  Cipher(const Cipher&) = delete;
  Cipher& operator=(const Cipher&) = delete;
  ~Cipher() { EVP_CIPHER_CTX_free(ctx_); }

  void Update(const std::uint8_t* in, std::size_t length, std::uint8_t* out) {
    int n = 0;
    if (EVP_CipherUpdate(ctx_, out, &n, in, static_cast<int>(length)) != 1 || static_cast<std::size_t>(n) != length) {
      throw std::runtime_error("EVP_CipherUpdate failed");
    }
  }

 private:
  EVP_CIPHER_CTX* ctx_;
};

}  // namespace openssl_reference
