#include "tls-extensions/speke_codec.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/kdf.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace speke {
namespace {

constexpr char kMagic[] = "speke";
constexpr std::size_t kMagicLength = 5;
constexpr std::uint8_t kEntrySkipped = 0;
constexpr std::uint8_t kEntryGroup = 1;
constexpr std::uint8_t kEntryOpaque = 2;
constexpr std::size_t kOpaqueLength = 8;
constexpr std::size_t kMacLength = 20;
constexpr std::size_t kKeyBlockLength = 40;  // MAC key, then the encryption secret
constexpr std::size_t kPadBlock = 32;
// The groups a SPEKE exchange may use: id and the maker of its prime.
struct GroupEntry {
  std::uint32_t id;
  BIGNUM* (*prime)(BIGNUM* into);
};
constexpr GroupEntry kSpekeGroupTable[] = {
    {1, BN_get_rfc2409_prime_768},   // 768-bit MODP group
    {2, BN_get_rfc2409_prime_1024},  // 1024-bit MODP group
    {5, BN_get_rfc3526_prime_1536},  // 1536-bit MODP group
};

constexpr char kKeyExpansion[] = "id key expansion";
constexpr char kEncrypt[] = "id encrypt";

// A cursor over bytes from the peer: every read is bounds-checked.
class Reader {
 public:
  Reader(const std::uint8_t* bytes, std::size_t length) : bytes_(bytes), length_(length) {}
  std::size_t left() const { return length_ - at_; }
  bool U8(std::uint8_t& value) {
    if (left() < 1) return false;
    value = bytes_[at_++];
    return true;
  }
  bool U16(std::uint16_t& value) {
    if (left() < 2) return false;
    value = static_cast<std::uint16_t>(bytes_[at_] << 8 | bytes_[at_ + 1]);
    at_ += 2;
    return true;
  }
  bool U32(std::uint32_t& value) {
    if (left() < 4) return false;
    value = std::uint32_t{bytes_[at_]} << 24 | std::uint32_t{bytes_[at_ + 1]} << 16 |
            std::uint32_t{bytes_[at_ + 2]} << 8 | bytes_[at_ + 3];
    at_ += 4;
    return true;
  }
  bool Take(std::size_t count, Bytes& out) {
    if (left() < count) return false;
    out.assign(bytes_ + at_, bytes_ + at_ + count);
    at_ += count;
    return true;
  }
  bool Skip(std::size_t count) {
    if (left() < count) return false;
    at_ += count;
    return true;
  }
  // A 16-bit length and that many bytes.
  bool Vector16(Bytes& out) {
    std::uint16_t count = 0;
    return U16(count) && Take(count, out);
  }

 private:
  const std::uint8_t* bytes_;
  std::size_t length_;
  std::size_t at_ = 0;
};

void PutU16(Bytes& out, std::size_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value));
}

void PutVector16(Bytes& out, const Bytes& value) {
  PutU16(out, value.size());
  out.insert(out.end(), value.begin(), value.end());
}

bool HmacSha1(const std::uint8_t* key, std::size_t keyLength, const std::uint8_t* data,
              std::size_t length, std::uint8_t mac[kMacLength]) {
  unsigned int produced = 0;
  return HMAC(EVP_sha1(), key, static_cast<int>(keyLength), data, length, mac, &produced) !=
             nullptr &&
         produced == kMacLength;
}

// The keys of a protected identity: MAC key and the stream that encrypts `length` bytes.
bool IdentityKeys(const Bytes& sharedSecret, const Randoms& randoms, std::size_t length,
                  std::uint8_t keyBlock[kKeyBlockLength], Bytes& stream) {
  stream.assign(length, 0);
  return IdentityPrf(sharedSecret.data(), sharedSecret.size(), kKeyExpansion, randoms.client,
                     randoms.server, keyBlock, kKeyBlockLength) &&
         IdentityPrf(keyBlock + kMacLength, kKeyBlockLength - kMacLength, kEncrypt,
                     randoms.client, randoms.server, stream.data(), length);
}

}  // namespace

BIGNUM* GroupPrime(std::uint32_t groupId) {
  for (const GroupEntry& entry : kSpekeGroupTable) {
    if (entry.id == groupId) return entry.prime(nullptr);
  }
  return nullptr;
}

Bytes BuildHelloBlock(const std::vector<std::uint32_t>& groups,
                      const std::vector<std::uint8_t>& modes) {
  Bytes block(1 + kMagicLength);
  block[0] = static_cast<std::uint8_t>(kMagicLength);
  std::memcpy(block.data() + 1, kMagic, kMagicLength);
  PutU16(block, groups.size() * 5);
  for (const std::uint32_t group : groups) {
    block.push_back(kEntryGroup);
    for (int shift = 24; shift >= 0; shift -= 8) block.push_back(static_cast<std::uint8_t>(group >> shift));
  }
  block.push_back(static_cast<std::uint8_t>(modes.size()));
  block.insert(block.end(), modes.begin(), modes.end());
  return block;
}

int ParseHelloBlock(const std::uint8_t* bytes, std::size_t length,
                    const std::vector<std::uint32_t>& serverGroups,
                    const std::vector<std::uint8_t>& serverModes, HelloChoice& choice) {
  choice = {};
  if (bytes == nullptr || length < 1 + kMagicLength || bytes[0] != kMagicLength ||
      std::memcmp(bytes + 1, kMagic, kMagicLength) != 0) {
    return 0;  // no block: nothing chosen
  }
  Reader reader(bytes + 1 + kMagicLength, length - 1 - kMagicLength);
  Bytes entries;
  if (!reader.Vector16(entries)) return kDecodeError;
  Reader entry(entries.data(), entries.size());
  std::int32_t group = -1;
  while (entry.left() > 0) {
    std::uint8_t type = 0;
    entry.U8(type);
    std::uint16_t skipped = 0;
    std::uint32_t id = 0;
    switch (type) {
      case kEntrySkipped:
        if (!entry.U16(skipped) || !entry.Skip(skipped)) return kDecodeError;
        break;
      case kEntryGroup:
        if (!entry.U32(id)) return kDecodeError;
        if (group < 0 && std::find(serverGroups.begin(), serverGroups.end(), id) != serverGroups.end()) {
          group = static_cast<std::int32_t>(id);
        }
        break;
      case kEntryOpaque:
        if (!entry.Skip(kOpaqueLength)) return kDecodeError;
        break;
      default:
        return kDecodeError;
    }
  }
  if (group < 0) return kHandshakeFailure;
  BIGNUM* prime = GroupPrime(static_cast<std::uint32_t>(group));
  if (prime == nullptr) return kHandshakeFailure;
  BN_free(prime);
  std::uint8_t count = 0;
  Bytes modes;
  if (!reader.U8(count) || !reader.Take(count, modes)) return kDecodeError;
  for (const std::uint8_t mode : modes) {
    if (std::find(serverModes.begin(), serverModes.end(), mode) != serverModes.end()) {
      choice.group = group;
      choice.mode = mode;
      return 0;
    }
  }
  return kHandshakeFailure;
}

Bytes BuildParams(const Params& params) {
  Bytes body{params.group, params.mode};
  if (params.mode == kModeProtected) {
    PutVector16(body, params.prime);
    PutVector16(body, params.generator);
    PutVector16(body, params.serverPublic);
  }
  return body;
}

int ParseParams(std::uint8_t type, const std::uint8_t* body, std::size_t length, Params& params) {
  if (type != kSpekeParams) return kUnexpectedMessage;
  Reader reader(body, length);
  if (!reader.U8(params.group) || !reader.U8(params.mode)) return kDecodeError;
  if (params.mode == kModeProtected) {
    if (!reader.Vector16(params.prime) || !reader.Vector16(params.generator) ||
        !reader.Vector16(params.serverPublic)) {
      return kDecodeError;
    }
  } else if (params.mode != kModePlain) {
    return kHandshakeFailure;
  }
  BIGNUM* prime = GroupPrime(params.group);
  if (prime == nullptr) return kHandshakeFailure;
  BN_free(prime);
  return 0;
}

bool IdentityPrf(const std::uint8_t* secret, std::size_t secretLength, const char* label,
                 const std::uint8_t clientRandom[32], const std::uint8_t serverRandom[32],
                 std::uint8_t* out, std::size_t length) {
  Bytes seed(label, label + std::strlen(label));
  seed.insert(seed.end(), clientRandom, clientRandom + 32);
  seed.insert(seed.end(), serverRandom, serverRandom + 32);
  std::unique_ptr<EVP_KDF, decltype(&EVP_KDF_free)> kdf(EVP_KDF_fetch(nullptr, "TLS1-PRF", nullptr),
                                                        EVP_KDF_free);
  if (!kdf) return false;
  std::unique_ptr<EVP_KDF_CTX, decltype(&EVP_KDF_CTX_free)> context(EVP_KDF_CTX_new(kdf.get()),
                                                                    EVP_KDF_CTX_free);
  if (!context) return false;
  char digest[] = "MD5-SHA1";
  const OSSL_PARAM parameters[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SECRET, const_cast<std::uint8_t*>(secret),
                                        secretLength),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SEED, seed.data(), seed.size()),
      OSSL_PARAM_construct_end(),
  };
  return EVP_KDF_derive(context.get(), out, length, parameters) == 1;
}

Bytes BuildProtectedIdentity(const Bytes& clientPublic, const Bytes& sharedSecret,
                             const Bytes& identity, const Randoms& randoms) {
  // Identity, zero bytes, the pad count: the next multiple of 32 above the identity length.
  const std::size_t padded = (identity.size() / kPadBlock + 1) * kPadBlock;
  Bytes plain(identity);
  plain.resize(padded, 0);
  plain[padded - 1] = static_cast<std::uint8_t>(padded - identity.size() - 1);
  std::uint8_t keyBlock[kKeyBlockLength];
  Bytes stream;
  std::uint8_t mac[kMacLength];
  if (!IdentityKeys(sharedSecret, randoms, padded + kMacLength, keyBlock, stream) ||
      !HmacSha1(keyBlock, kMacLength, plain.data(), plain.size(), mac)) {
    return {};
  }
  OPENSSL_cleanse(keyBlock, sizeof keyBlock);
  plain.insert(plain.end(), mac, mac + kMacLength);
  for (std::size_t i = 0; i < plain.size(); ++i) plain[i] ^= stream[i];
  Bytes body;
  PutVector16(body, clientPublic);
  PutVector16(body, plain);
  return body;
}

int ParseIdentity(std::uint8_t type, const std::uint8_t* body, std::size_t length,
                  std::uint8_t mode, const Randoms& randoms,
                  Bytes (*sharedSecretOf)(const Bytes& clientPublic, void* argument),
                  void* argument, Bytes& identity) {
  if (type != kEncryptedIdentity) return kUnexpectedMessage;
  Reader reader(body, length);
  if (mode == kModePlain) return reader.Vector16(identity) ? 0 : kDecodeError;
  if (mode != kModeProtected || sharedSecretOf == nullptr) return kInternalError;

  Bytes clientPublic;
  if (!reader.Vector16(clientPublic)) return kDecodeError;
  Bytes secret = sharedSecretOf(clientPublic, argument);
  if (secret.empty()) return kInternalError;
  Bytes cipher;
  if (!reader.Vector16(cipher)) return kDecodeError;
  const std::size_t n = cipher.size();
  if (n <= kMacLength) return kHandshakeFailure;
  std::uint8_t keyBlock[kKeyBlockLength];
  Bytes stream;
  const bool keyed = IdentityKeys(secret, randoms, n, keyBlock, stream);
  OPENSSL_cleanse(secret.data(), secret.size());
  if (!keyed) return kInternalError;
  for (std::size_t i = 0; i < n; ++i) cipher[i] ^= stream[i];
  std::uint8_t mac[kMacLength];
  const bool macOk = HmacSha1(keyBlock, kMacLength, cipher.data(), n - kMacLength, mac) &&
                     CRYPTO_memcmp(mac, cipher.data() + n - kMacLength, kMacLength) == 0;
  OPENSSL_cleanse(keyBlock, sizeof keyBlock);
  if (!macOk) return kHandshakeFailure;
  const std::size_t pad = cipher[n - kMacLength - 1];
  if (pad > n - kMacLength - 1) return kHandshakeFailure;
  identity.assign(cipher.begin(), cipher.begin() + static_cast<long>(n - pad - kMacLength - 1));
  return 0;
}

int ParseClientValue(std::uint8_t type, const std::uint8_t* body, std::size_t length,
                     const BIGNUM* prime, Bytes& value) {
  if (type != kClientSpekeValue) return kUnexpectedMessage;
  Reader reader(body, length);
  if (!reader.Vector16(value)) return kDecodeError;
  if (prime == nullptr) return kInternalError;
  std::unique_ptr<BIGNUM, decltype(&BN_free)> y(
      BN_bin2bn(value.data(), static_cast<int>(value.size()), nullptr), BN_free);
  std::unique_ptr<BIGNUM, decltype(&BN_free)> limit(BN_dup(prime), BN_free);
  if (!y || !limit) return kInternalError;
  BN_clear_bit(limit.get(), 0);  // p - 1 for an odd prime
  // 1 < y < p - 1: the values 0, 1 and p - 1 would force the shared secret.
  if (BN_cmp(y.get(), BN_value_one()) <= 0 || BN_cmp(y.get(), limit.get()) >= 0) {
    return kAccessDenied;
  }
  return 0;
}

}  // namespace speke
