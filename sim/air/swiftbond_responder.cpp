#include "sim/air/swiftbond_responder.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace simair {
namespace {

constexpr std::uint8_t kSnap[8] = {0xAA, 0xAA, 0x03, 0x02, 0x5A, 0x9C, 0x00, 0x01};

std::uint16_t Little16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
void PutLittle16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

std::array<std::uint8_t, 16> Md5OfRepeated(const std::uint8_t* bytes, std::size_t length) {
  std::array<std::uint8_t, 16> out{};
  if (length == 0) return out;
  std::uint8_t block[64];
  for (std::size_t k = 0; k < sizeof block; ++k) block[k] = bytes[k % length];
  unsigned int n = 0;
  if (EVP_Digest(block, sizeof block, out.data(), &n, EVP_md5(), nullptr) != 1) throw std::runtime_error("MD5");
  OPENSSL_cleanse(block, sizeof block);
  return out;
}

// RC4 lives in OpenSSL's legacy provider, loaded into a context of our own.
OSSL_LIB_CTX* LegacyContext() {
  static OSSL_LIB_CTX* context = [] {
    OSSL_LIB_CTX* c = OSSL_LIB_CTX_new();
    if (c == nullptr || OSSL_PROVIDER_load(c, "legacy") == nullptr || OSSL_PROVIDER_load(c, "default") == nullptr)
      throw std::runtime_error("OpenSSL's legacy provider (RC4) is not available");
    return c;
  }();
  return context;
}

constexpr std::uint16_t kStatusRefusedPassphrase = 1;

}  // namespace

SwiftBondResponder::SwiftBondResponder(std::string ssid, std::array<std::uint8_t, 16> value,
                                       std::array<std::uint8_t, 128> block)
    : ssid_(std::move(ssid)), value_(value), block_(block) {}

std::array<std::uint8_t, 16> SwiftBondResponder::Rc4Key(const std::uint8_t* bssid, const std::uint8_t* station) {
  std::array<std::uint8_t, 16> a = Md5OfRepeated(bssid, 6);
  const std::array<std::uint8_t, 16> b = Md5OfRepeated(station, 6);
  for (int i = 0; i < 16; ++i) a[i] = static_cast<std::uint8_t>(a[i] ^ b[i] ^ kSwiftBondMask[i]);
  return a;
}

std::array<std::uint8_t, 20> SwiftBondResponder::Wep40Keys(const std::string& passphrase) {
  std::uint32_t seed = 0;
  for (std::size_t k = 0; k < passphrase.size(); ++k)
    seed ^= static_cast<std::uint32_t>(static_cast<std::uint8_t>(passphrase[k])) << (8 * (k % 4));
  std::array<std::uint8_t, 20> keys{};
  for (auto& byte : keys) {
    seed = seed * 214013u + 2531011u;
    byte = static_cast<std::uint8_t>((seed >> 16) & 0xFF);
  }
  return keys;
}

std::array<std::uint8_t, 16> SwiftBondResponder::Wep104Key(const std::string& passphrase) {
  return Md5OfRepeated(reinterpret_cast<const std::uint8_t*>(passphrase.data()), passphrase.size());
}

std::vector<std::uint8_t> SwiftBondResponder::Rc4(const std::uint8_t* key, std::size_t keyLength,
                                                  std::vector<std::uint8_t> data) {
  EVP_CIPHER* cipher = EVP_CIPHER_fetch(LegacyContext(), "RC4", nullptr);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int n = 0;
  const OSSL_PARAM none[] = {OSSL_PARAM_END};
  bool ok = cipher != nullptr && ctx != nullptr && EVP_EncryptInit_ex2(ctx, cipher, nullptr, nullptr, none) == 1 &&
            EVP_CIPHER_CTX_set_key_length(ctx, static_cast<int>(keyLength)) == 1 &&
            EVP_EncryptInit_ex2(ctx, nullptr, key, nullptr, none) == 1 &&
            EVP_EncryptUpdate(ctx, data.data(), &n, data.data(), static_cast<int>(data.size())) == 1;
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(cipher);
  if (!ok) throw std::runtime_error("RC4");
  return data;
}

std::vector<std::uint8_t> SwiftBondResponder::answer(const std::uint8_t* bssid, const std::uint8_t* station,
                                                     const std::uint8_t* body, std::size_t length) {
  if (length < 16 || std::memcmp(body, kSnap, sizeof kSnap) != 0) return {};
  const std::uint16_t type = Little16(body + 8);
  requestTypes_.push_back(type);
  std::vector<std::uint8_t> reply(16, 0);
  std::uint16_t status = 0;
  switch (type) {
    case 1: {
      if (length < 60) return {};
      const auto key = Rc4Key(bssid, station);
      auto field = Rc4(key.data(), key.size(), std::vector<std::uint8_t>(body + 16, body + 48));
      const auto end = std::find(field.begin(), field.end(), 0);
      passphrase_ = Secret(std::string_view(reinterpret_cast<const char*>(field.data()),
                                            static_cast<std::size_t>(end - field.begin())));
      OPENSSL_cleanse(field.data(), field.size());
      if (passphraseTest_ && !passphraseTest_(passphrase_.reveal())) status = kStatusRefusedPassphrase;
      keyType_ = Little16(body + 48);
      keyIndex_ = Little16(body + 50);
      reply.resize(70, 0);
      std::memcpy(reply.data() + 16, ssid_.data(), std::min<std::size_t>(ssid_.size(), 32));
      std::memcpy(reply.data() + 54, value_.data(), value_.size());
      break;
    }
    case 3: {
      if (length < 144) return {};
      securityBlock_.assign(body + 16, body + 144);
      std::vector<std::uint8_t> block(block_.begin(), block_.end());
      if (keyType_ == 2) {
        const auto keys = Wep40Keys(passphrase());
        block = Rc4(keys.data() + 5 * (keyIndex_ % 4), 5, block);
      } else {
        const auto key = Wep104Key(passphrase());
        block = Rc4(key.data(), key.size(), block);
      }
      reply.insert(reply.end(), block.begin(), block.end());
      break;
    }
    case 4:
    case 2:
      break;
    default:
      return {};
  }
  if (knobs_.silentOnType == type) return {};
  std::uint16_t replyType = static_cast<std::uint16_t>(0x8000 | type);
  if (knobs_.wrongTypeOnType == type) replyType = type == 3 ? 0x8001 : 0x8003;
  std::memcpy(reply.data(), kSnap, sizeof kSnap);
  PutLittle16(reply.data() + 8, replyType);
  PutLittle16(reply.data() + 10, static_cast<std::uint16_t>(reply.size() - 8));
  PutLittle16(reply.data() + 12, Little16(body + 12));
  PutLittle16(reply.data() + 14, knobs_.statusOnType == type ? knobs_.status : status);
  if (knobs_.shortOnType == type) reply.resize(12);
  return reply;
}

}  // namespace simair
